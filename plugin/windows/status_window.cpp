#include "plugin/windows/status_window.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QVariant>

#include "corvane/platform/notify.h"
#include "widgets/mailbox_delivery.h"
#include "widgets/text_progress_bar.h"

namespace {

QLabel* AddRow(QGridLayout* grid, int row, const char* caption, QWidget* parent) {
  grid->addWidget(new QLabel(caption, parent), row, 0);
  auto* value = new QLabel(parent);
  value->setTextInteractionFlags(Qt::TextSelectableByMouse);
  grid->addWidget(value, row, 1);
  return value;
}

constexpr const char* kVerdict = "Download complete!";

// The bar's text font: "Letha" at 11 pixels, weight 600. Where the face that stands in for it
// is wider, it is narrowed just as far as the verdict needs to fit `room` pixels: a "Download
// complete!" cut at both ends is no verdict.
QFont BarFont(int room) {
  QFont font("Letha");
  font.setPixelSize(11);
  font.setWeight(QFont::DemiBold);
  if (room <= 0) return font;
  int stretch = QFont::Unstretched;
  while (QFontMetrics(font).horizontalAdvance(kVerdict) > room && stretch > QFont::Condensed) {
    stretch -= 5;
    font.setStretch(stretch);
  }
  return font;
}

}  // namespace

CStatusDlg::CStatusDlg(StatusInputs inputs, QWidget* parent)
    : QFrame(parent), host_(inputs.host), port_(inputs.port) {
  setObjectName("statusWindow");
  setFrameStyle(QFrame::Box | QFrame::Plain);
  // Eight panels share the window: small type, so the status line keeps two whole lines.
  QFont small = font();
  small.setPointSizeF(7);
  setFont(small);

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(3, 2, 3, 2);
  grid->setVerticalSpacing(0);
  port_label_ = AddRow(grid, 0, "Port : ", this);
  AddRow(grid, 1, "Start :", this);
  AddRow(grid, 2, "Current:", this);
  file_ = AddRow(grid, 3, "File :", this);
  grid->addWidget(new QLabel("Current Status", this), 4, 0, 1, 2);
  status_ = new QLabel(this);
  status_->setObjectName("statusLine");
  status_->setWordWrap(true);
  status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  status_->setMinimumHeight(2 * QFontMetrics(small).lineSpacing());
  grid->addWidget(status_, 5, 0, 1, 2);
  bar_ = new widgets::TextProgressBar(this);
  bar_->setFont(BarFont(0));
  bar_->setMinimumHeight(16);
  normalUnfilled_ = bar_->palette().color(QPalette::Base);
  grid->addWidget(bar_, 6, 0, 1, 2);
  elapsed_ = new QLabel(this);
  elapsed_->setObjectName("elapsed");
  elapsed_->setAlignment(Qt::AlignCenter);
  grid->addWidget(elapsed_, 7, 0, 1, 2);
  close_ = new QPushButton("Window Close", this);
  close_->setObjectName("windowClose");
  close_->setFixedHeight(QFontMetrics(small).height() + 8);
  grid->addWidget(close_, 8, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(5, 1);
  connect(close_, &QPushButton::clicked, this, [this] { CloseClicked(); });

  run_ = std::make_unique<StatusRun>(*this, std::move(inputs));
  mail_ = widgets::DeliverMailOnGuiThread(run_->Mailbox(), this);
  setProperty("messageTarget", QVariant::fromValue(reinterpret_cast<quintptr>(
                                   static_cast<platform::WindowHandle>(&run_->Mailbox()))));
}

// The run ends first (its worker may be reporting), then the notifier goes before the
// descriptor it watches.
CStatusDlg::~CStatusDlg() {
  run_->Stop();
  delete mail_;
  for (auto& [id, timer] : timers_) timer->stop();
}

void CStatusDlg::ShowFields(const std::string& port, const std::string& file,
                            const std::string& status) {
  port_label_->setText(QString::fromStdString(port));
  const QString path = QString::fromStdString(file);
  file_->setToolTip(path);
  file_->setText(file_->fontMetrics().elidedText(path, Qt::ElideLeft, file_->width()));
  status_->setText(QString::fromStdString(status));
  status_->setToolTip(status_->text());
}

void CStatusDlg::ShowBar(int position, const std::string& text, notify::Tone tone) {
  // The host gives the panel its width after it made the window.
  if (width() != fittedWidth_) {
    fittedWidth_ = width();
    const QMargins margins = layout()->contentsMargins();
    bar_->setFont(BarFont(contentsRect().width() - margins.left() - margins.right()));
  }
  if (tone != tone_) {
    tone_ = tone;
    bar_->SetUnfilledColour(tone == notify::Tone::kError      ? QColor(255, 0, 0)
                            : tone == notify::Tone::kComplete ? QColor(0, 255, 0)
                                                              : normalUnfilled_);
    bar_->update();  // a colour change alone is not a repaint of its own
  }
  bar_->SetPos(position);
  bar_->SetText(QString::fromStdString(text));
}

void CStatusDlg::ShowElapsed(const std::string& text) {
  elapsed_->setText(QString::fromStdString(text));
}

void CStatusDlg::EnableClose(bool enabled) { close_->setEnabled(enabled); }

void CStatusDlg::SetTimer(int id, int periodMs) {
  QTimer*& timer = timers_[id];
  if (timer == nullptr) {
    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, id] { run_->OnTimer(id); });
  }
  if (periodMs > 0) {
    timer->start(periodMs);
  } else {
    timer->stop();
  }
}

// The host closes the window through the plug-in's close slot, usually from inside this send;
// that slot deletes the window only once this handler has returned.
void CStatusDlg::CloseClicked() {
  platform::SendWindowMessage(host_, notify::kMsgStatusWindowClose,
                              reinterpret_cast<uintptr_t>(this), port_);
}
