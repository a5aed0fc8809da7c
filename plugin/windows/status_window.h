#pragma once

#include <QColor>
#include <QFrame>
#include <map>
#include <memory>

#include "plugin/status_run.h"

class QLabel;
class QPushButton;
class QTimer;

namespace widgets {
class TextProgressBar;
}

// The status window of one port: a borderless panel inside the host's window showing the port,
// the file, the current status line, the bar with its text and the elapsed time, with "Window
// Close" that asks the host (1010) to close it. Its run is a StatusRun. Its window handle (what
// its run reports to) is the property "messageTarget", as a system window's handle is public.
class CStatusDlg : public QFrame, public StatusView {
  Q_OBJECT

 public:
  CStatusDlg(StatusInputs inputs, QWidget* parent);
  // Ends the run (cancelled if it still goes) before any widget it reports to.
  ~CStatusDlg() override;

  // Shows the fields and starts the run.
  void Start(bool haveParent) { run_->Start(haveParent); }
  // Cancels the run and waits for its worker.
  void Stop() { run_->Stop(); }
  StatusRun& Run() { return *run_; }

  void ShowFields(const std::string& port, const std::string& file,
                  const std::string& status) override;
  void ShowBar(int position, const std::string& text, notify::Tone tone) override;
  void ShowElapsed(const std::string& text) override;
  void EnableClose(bool enabled) override;
  void SetTimer(int id, int periodMs) override;

 private:
  void CloseClicked();

  platform::WindowHandle host_;
  int port_;
  QLabel* port_label_ = nullptr;
  QLabel* file_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* elapsed_ = nullptr;
  widgets::TextProgressBar* bar_ = nullptr;
  QPushButton* close_ = nullptr;
  QColor normalUnfilled_;
  notify::Tone tone_ = notify::Tone::kNormal;
  int fittedWidth_ = 0;  // the window's width the bar's font was last fitted to
  std::map<int, QTimer*> timers_;
  std::unique_ptr<StatusRun> run_;
  QObject* mail_ = nullptr;  // the mailbox's delivery, deleted before the mailbox
};
