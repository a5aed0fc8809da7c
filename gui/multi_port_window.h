#pragma once

#include <QDialog>
#include <memory>

#include "host/multi_port_run.h"

class QLabel;
class QTableWidget;
class QTimer;

namespace gui {

// The multi-port window: the plug-in's status windows of up to eight phones in two rows of
// panels, and a table with one column per panel that shows each port's state and result. Its
// timer runs MultiPortRun's tick once a second (ticks never overlap). Closing it while phones
// are still being written asks first; then every status window's run is cancelled and waited for.
class MultiPortDialog : public QDialog, public MultiPortView {
  Q_OBJECT

 public:
  MultiPortDialog(RunRequest request, PortScan::Discover discover, QWidget* parent = nullptr);
  ~MultiPortDialog() override;

  // Binds the plug-in and starts the ticks.
  void Start();
  MultiPortRun& Run() { return *run_; }
  QTableWidget* Table() { return table_; }
  QWidget* Panels() { return panels_; }

  void done(int result) override;

  // MultiPortView
  void ShowColumn(int slot, const std::string& top, const std::string& bottom) override;
  // The reason is the column's tooltip.
  void ShowReason(int slot, const std::string& reason) override;
  void PlaySound(bool success) override;
  void* PanelParent() override { return panels_; }
  // Notes gather below the table, one line each.
  void ShowNote(const std::string& text) override;
  QLabel* Notes() { return notes_; }

 private:
  void OnTick();

  QWidget* panels_ = nullptr;
  QTableWidget* table_ = nullptr;
  QLabel* notes_ = nullptr;
  QTimer* tick_ = nullptr;
  std::unique_ptr<MultiPortRun> run_;
  QObject* mail_ = nullptr;  // the mailbox's delivery, deleted before the mailbox
};

}  // namespace gui
