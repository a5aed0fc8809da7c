#include "gui/download_window.h"

#include <QContextMenuEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
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

// "&Hidden Log" outlives its window: the next window opens the way the last one was left.
bool g_logHidden = false;
int g_shownHeight = 0;

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
  bar_ = new widgets::TextProgressBar(this);
  bar_->setObjectName("progress");
  bar_->SetRange(0, 100);
  bar_->setMinimumHeight(24);
  normalUnfilled_ = bar_->palette().color(QPalette::Base);

  log_ = new QPlainTextEdit(this);
  log_->setObjectName("log");
  log_->setReadOnly(true);
  factory_ = new QTreeWidget(this);
  factory_->setObjectName("factory");
  factory_->setRootIsDecorated(false);
  factory_->setHeaderLabels({"Item", "Factory Data"});
  factory_->setColumnWidth(0, 100);
  factory_->setColumnWidth(1, 400);
  lists_ = new QLabel(this);
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
  if (g_logHidden) ApplyHiddenLog();
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

void DownloadWindowDialog::AppendLog(const std::string& line) {
  log_->appendPlainText(QString::fromStdString(line));
}

void DownloadWindowDialog::ClearLog() { log_->clear(); }

void DownloadWindowDialog::ShowProgress(int position, const std::string& text, notify::Tone tone) {
  using notify::Tone;
  bar_->SetUnfilledColour(tone == Tone::kError      ? QColor(Qt::red)
                          : tone == Tone::kComplete ? QColor(Qt::green)
                                                    : normalUnfilled_);
  bar_->SetPos(position);
  bar_->SetText(QString::fromStdString(text));
  bar_->update();  // a colour change alone is not a repaint of its own
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

void DownloadWindowDialog::contextMenuEvent(QContextMenuEvent* event) {
  menu_->exec(event->globalPos());
}

void DownloadWindowDialog::ToggleHiddenLog() {
  if (!g_logHidden) g_shownHeight = height();
  g_logHidden = !g_logHidden;
  ApplyHiddenLog();
}

void DownloadWindowDialog::ApplyHiddenLog() {
  for (QGroupBox* group : groups_) group->setVisible(!g_logHidden);
  if (g_logHidden) {
    resize(width(), kHiddenHeight);
  } else if (g_shownHeight > 0) {
    resize(width(), g_shownHeight);
  }
}

void DownloadWindowDialog::SaveLog() {
  const std::string path = settingsDirectory_ + "/" + settings::kLogFileName;
  const std::string document = RtfDocument(run_->Log().Lines());
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
