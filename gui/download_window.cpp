#include "gui/download_window.h"

#include <QContextMenuEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "corvane/platform/message_box.h"
#include "gui/dialogs.h"
#include "gui/sounds.h"
#include "gui/ui_font.h"
#include "host/settings.h"
#include "widgets/mailbox_delivery.h"
#include "widgets/text_progress_bar.h"

namespace gui {
namespace {

// "&Hidden Log"'s flag and the height it restores belong to the process, not to one window:
// every window opens whole, and in the one after a hidden one the first "&Hidden Log" restores.
bool g_logHidden = false;
int g_shownHeight = 0;

constexpr int kBarHeight = 24;

QGroupBox* Group(const char* title, QWidget* content, QWidget* parent) {
  auto* group = new QGroupBox(title, parent);
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(content);
  return group;
}

}  // namespace

DownloadWindowDialog::DownloadWindowDialog(RunRequest request, std::string settingsDirectory,
                                           QWidget* parent)
    : QDialog(parent), settingsDirectory_(std::move(settingsDirectory)) {
  setWindowTitle("Download Window");
  // Above the other windows: the sheet is hidden, and a technician at the bench must not lose
  // the run behind another program.
  setWindowFlag(Qt::WindowStaysOnTopHint);
  bar_ = new widgets::TextProgressBar(this);
  bar_->setObjectName("progress");
  bar_->SetRange(0, 100);
  bar_->setFixedHeight(kBarHeight);
  normalUnfilled_ = bar_->palette().color(QPalette::Base);

  log_ = new QPlainTextEdit(this);
  log_->setObjectName("log");
  log_->setReadOnly(true);
  // A right click over the log goes to the window's menu, not to the text's Copy/Select All.
  log_->setContextMenuPolicy(Qt::NoContextMenu);
  factory_ = new QTreeWidget(this);
  factory_->setObjectName("factory");
  factory_->setRootIsDecorated(false);
  factory_->setHeaderLabels({"Item", "Factory Data"});
  factory_->setColumnWidth(0, 100);
  factory_->setColumnWidth(1, 400);
  lists_ = new QLabel("D/S lists", this);
  lists_->setObjectName("lists");
  lists_->setFont(LabelFont());
  QPalette black = lists_->palette();
  black.setColor(QPalette::WindowText, Qt::black);
  lists_->setPalette(black);

  groups_[0] = Group("Download progress status", log_, this);
  groups_[1] = Group("Factory Data", factory_, this);
  groups_[2] = Group("D/L lists", lists_, this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(bar_);
  layout->addWidget(groups_[0], 3);
  layout->addWidget(groups_[1], 1);
  layout->addWidget(groups_[2]);
  layout->addStretch();  // takes the room the hidden groups leave, so the bar keeps its height
  resize(560, 520);

  menu_ = new QMenu(this);
  menu_->addAction("&Hidden Log", this, [this] { ToggleHiddenLog(); });
  menu_->addAction("&Clear Log", this, [this] { run_->ClearLog(); });
  menu_->addSeparator();
  menu_->addAction("&Save Log", this, [this] { SaveLog(); });

  tick_ = new QTimer(this);
  connect(tick_, &QTimer::timeout, this, [this] { run_->Tick(); });
  run_ = std::make_unique<DownloadRun>(*this, std::move(request));
  mail_ = widgets::DeliverMailOnGuiThread(run_->Mailbox(), this);
}

// The run ends before any of the widgets it reports to, and the notifier goes before the
// descriptor it watches.
DownloadWindowDialog::~DownloadWindowDialog() {
  run_->Close();
  delete mail_;
}

// Closing (the close box, Escape) ends here: a phone half written is the user's call to make.
void DownloadWindowDialog::done(int result) {
  if (run_->Running() && !AskYesNo(this, kStopQuestion)) return;
  tick_->stop();
  run_->Close();
  QDialog::done(result);
}

// The newest line is shown whatever the user scrolled to; a selection being copied stays.
void DownloadWindowDialog::AppendLog(const std::string& line) {
  log_->appendPlainText(QString::fromStdString(line));
  if (!log_->textCursor().hasSelection()) log_->moveCursor(QTextCursor::End);
  QScrollBar* scroll = log_->verticalScrollBar();
  scroll->setValue(scroll->maximum());
}

void DownloadWindowDialog::ClearLog() { log_->clear(); }

void DownloadWindowDialog::ShowProgress(int position, const std::string& text, notify::Tone tone) {
  using notify::Tone;
  bar_->SetUnfilledColour(tone == Tone::kError      ? QColor(Qt::red)
                          : tone == Tone::kComplete ? QColor(Qt::green)
                                                    : normalUnfilled_);
  // The colour shows at the bar's next repaint, which only a new width or text brings.
  bar_->SetPos(position);
  bar_->SetText(QString::fromStdString(text));
}

void DownloadWindowDialog::AddFactoryRow(const view::FactoryRow& row) {
  new QTreeWidgetItem(
      factory_, {QString::fromStdString(row.item),
                 QString::fromLatin1(row.value.data(), static_cast<qsizetype>(row.value.size()))});
}

void DownloadWindowDialog::ShowListText(const std::string& text) {
  lists_->setText(QString::fromStdString(text));
}

void DownloadWindowDialog::PlaySound(bool success) {
  gui::PlaySound(success ? Sound::kSuccess : Sound::kFailure);
}

void DownloadWindowDialog::SetTickTimer(int periodMs) {
  if (periodMs <= 0) return tick_->stop();
  tick_->start(periodMs);
}

// A request from the keyboard (the Menu key, Shift+F10) has no point on the window to open at.
void DownloadWindowDialog::contextMenuEvent(QContextMenuEvent* event) {
  if (event->reason() == QContextMenuEvent::Keyboard) return;
  menu_->exec(event->globalPos());
}

void DownloadWindowDialog::ToggleHiddenLog() {
  int newHeight = kHiddenHeight;
  if (g_logHidden) {
    newHeight = g_shownHeight;
  } else {
    g_shownHeight = height();
  }
  g_logHidden = !g_logHidden;
  for (QGroupBox* group : groups_) group->setVisible(!g_logHidden);
  // The window's least height follows the groups now shown, before it takes the new height.
  layout()->activate();
  resize(width(), newHeight);
}

void DownloadWindowDialog::SaveLog() {
  const std::string path = settingsDirectory_ + "/" + settings::kLogFileName;
  const std::string document = RtfDocument(run_->Log().Saved());
  std::FILE* file = std::fopen(path.c_str(), "wb");
  bool ok = file != nullptr;
  int error = errno;
  if (ok) {
    ok = std::fwrite(document.data(), 1, document.size(), file) == document.size();
    if (!ok) error = errno;
    if (std::fclose(file) != 0 && ok) {
      ok = false;
      error = errno;
    }
  }
  platform::ShowMessageBox(ok ? "Log file is saved!" : std::generic_category().message(error));
}

}  // namespace gui
