#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "host/records/recorder.h"
#include "host/records/records_settings.h"
#include "host/sheet.h"

class QTabWidget;

namespace gui {

class NormalPageWidget;
class RomCopyPageWidget;

// The main sheet "Tarvex": the "Normal D/L" and "ROM copy D/L" tabs with "Initialization" and
// "Exit". Closing it (Exit or the close box) ends the program; the pages keep their settings.
class SheetWindow : public QDialog {
  Q_OBJECT

 public:
  struct Setup {
    NormalPage::Places places;
    PortScan::Discover discover;
  };

  explicit SheetWindow(const Setup& setup, QWidget* parent = nullptr);
  ~SheetWindow() override;

  NormalPageWidget& Normal() { return *normal_; }
  RomCopyPageWidget& RomCopy() { return *romCopy_; }
  // Where every run opened from here leaves its record (null: nowhere).
  void SetRecords(std::shared_ptr<records::Recorder> recorder, records::Settings settings);

 private:
  void OpenDownloadWindow(const RunRequest& page);

  QTabWidget* tabs_ = nullptr;
  NormalPageWidget* normal_ = nullptr;
  RomCopyPageWidget* romCopy_ = nullptr;
  std::string settingsDirectory_;  // where the window saves "Log.rtf"
  PortScan::Discover discover_;    // the multi-port window finds its phones itself
  std::unique_ptr<Sheet> sheet_;
  std::shared_ptr<records::Recorder> recorder_;
  records::Settings records_;
};

}  // namespace gui
