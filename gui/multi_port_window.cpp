#include "gui/multi_port_window.h"

#include <QHeaderView>
#include <QLabel>
#include <QSocketNotifier>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "gui/dialogs.h"
#include "gui/sounds.h"
#include "widgets/mailbox_delivery.h"

namespace gui {
namespace {

constexpr int kColumnWidth = 80;
constexpr int kPanelColumns = 5;
constexpr int kPanelRows = 2;

QSize PanelArea() {
  const MultiPortRun::Rect r = MultiPortRun::Panel(0);
  return {kPanelColumns * r.width, kPanelRows * r.height};
}

}  // namespace

MultiPortDialog::MultiPortDialog(RunRequest request, PortScan::Discover discover, QWidget* parent)
    : QDialog(parent) {
  setWindowFlag(Qt::WindowStaysOnTopHint);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  panels_ = new QWidget(this);
  panels_->setObjectName("panels");
  panels_->setFixedSize(PanelArea());

  table_ = new QTableWidget(2, MultiPortRun::kSlots, this);
  table_->setObjectName("statusTable");
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setDefaultSectionSize(kColumnWidth);
  QPalette red = table_->palette();
  red.setColor(QPalette::Text, QColor(255, 0, 0));
  table_->setPalette(red);
  for (int c = 0; c < MultiPortRun::kSlots; ++c) {
    table_->setHorizontalHeaderItem(c, new QTableWidgetItem("PORT X"));
  }
  // The whole table at once: eight columns of 80 pixels and two rows, no scrolling.
  table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  table_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  const int frame = 2 * table_->frameWidth();
  table_->setFixedSize(MultiPortRun::kSlots * kColumnWidth + frame,
                       table_->horizontalHeader()->sizeHint().height() +
                           2 * table_->verticalHeader()->defaultSectionSize() + frame);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(panels_, 0, Qt::AlignLeft | Qt::AlignTop);
  layout->addSpacing(8);
  layout->addWidget(table_);
  notes_ = new QLabel(this);
  notes_->setObjectName("notes");
  notes_->setTextFormat(Qt::PlainText);  // a port's name is never markup
  notes_->setWordWrap(true);
  notes_->hide();  // until there is something to say
  layout->addWidget(notes_);

  tick_ = new QTimer(this);
  tick_->setSingleShot(true);
  connect(tick_, &QTimer::timeout, this, [this] { OnTick(); });
  run_ = std::make_unique<MultiPortRun>(*this, std::move(request), std::move(discover));
  mail_ = widgets::DeliverMailOnGuiThread(run_->Mailbox(), this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

// Every status window (a child of the panels) ends before the widgets go, and the notifier
// before the descriptor it watches.
MultiPortDialog::~MultiPortDialog() {
  run_->CloseAll();
  delete mail_;
}

void MultiPortDialog::Start() {
  if (run_->Start()) tick_->start(MultiPortRun::kTickMs);
}

// The timer is single-shot and started again after the tick, so ticks never overlap even when
// one opens a window that takes long.
void MultiPortDialog::OnTick() {
  run_->Tick();
  tick_->start(MultiPortRun::kTickMs);
}

void MultiPortDialog::done(int result) {
  if (run_->AnyRunning() &&
      !AskYesNo(this, "Phones are still being written. Stop them and close the window?")) {
    return;
  }
  tick_->stop();
  run_->CloseAll();
  QDialog::done(result);
}

void MultiPortDialog::ShowColumn(int slot, const std::string& top, const std::string& bottom) {
  table_->setItem(0, slot, new QTableWidgetItem(QString::fromStdString(top)));
  table_->setItem(1, slot, new QTableWidgetItem(QString::fromStdString(bottom)));
}

void MultiPortDialog::ShowReason(int slot, const std::string& reason) {
  for (int row = 0; row < 2; ++row) {
    if (QTableWidgetItem* item = table_->item(row, slot)) {
      item->setToolTip(QString::fromStdString(reason));
    }
  }
}

void MultiPortDialog::ShowNote(const std::string& text) {
  const QString line = QString::fromStdString(text);
  notes_->setText(notes_->text().isEmpty() ? line : notes_->text() + "\n" + line);
  notes_->show();
}

void MultiPortDialog::PlaySound(bool success) {
  gui::PlaySound(success ? Sound::kSuccess : Sound::kFailure);
}

}  // namespace gui
