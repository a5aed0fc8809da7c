#pragma once

#include <QColor>
#include <QDialog>
#include <memory>
#include <string>

#include "host/download_run.h"

class QGroupBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QTimer;
class QTreeWidget;

namespace widgets {
class TextProgressBar;
}

namespace gui {

// "Download Window": one phone's run, of the request that the Normal D/L or the ROM copy page
// handed it at Start. The bar, the log, the
// phone's factory data and the list of files; a right-click menu hides the log or clears or saves
// it. Closing it while the run goes on asks first; then it cancels the run and waits for the
// worker, which ends by itself once its waits are cancelled.
class DownloadWindowDialog : public QDialog, public DownloadWindowView {
  Q_OBJECT

 public:
  static constexpr int kHiddenHeight = 70;
  static constexpr const char* kStopQuestion =
      "The download is still running. Stop it and close the window?";

  DownloadWindowDialog(RunRequest request, std::string settingsDirectory,
                       QWidget* parent = nullptr);
  ~DownloadWindowDialog() override;

  void Start() { run_->Start(); }
  DownloadRun& Run() { return *run_; }
  // The right-click menu: "&Hidden Log", "&Clear Log", "&Save Log".
  QMenu* ContextMenu() { return menu_; }

  void done(int result) override;

  // DownloadWindowView
  void AppendLog(const std::string& line) override;
  void ClearLog() override;
  void ShowProgress(int position, const std::string& text, notify::Tone tone) override;
  void AddFactoryRow(const view::FactoryRow& row) override;
  void ShowListText(const std::string& text) override;
  void PlaySound(bool success) override;
  void SetTickTimer(int periodMs) override;

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void ToggleHiddenLog();
  void SaveLog();

  std::string settingsDirectory_;
  widgets::TextProgressBar* bar_ = nullptr;
  QColor normalUnfilled_;
  QPlainTextEdit* log_ = nullptr;
  QTreeWidget* factory_ = nullptr;
  QLabel* lists_ = nullptr;
  QGroupBox* groups_[3] = {};
  QMenu* menu_ = nullptr;
  QTimer* tick_ = nullptr;
  QObject* mail_ = nullptr;  // the mailbox's delivery, deleted before the mailbox
  std::unique_ptr<DownloadRun> run_;
};

}  // namespace gui
