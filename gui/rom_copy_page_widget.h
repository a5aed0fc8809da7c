#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "host/rom_copy_page.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace gui {

class IconButton;

// The "ROM copy D/L" tab: the two whole images, the mode, the port, and Start.
class RomCopyPageWidget : public QWidget, public RomCopyPageView {
  Q_OBJECT

 public:
  using OpenWindow = std::function<void(const RunRequest&)>;

  RomCopyPageWidget(PortScan::Discover discover, RomCopyPage::PluginSource plugin,
                    OpenWindow openWindow, QWidget* parent = nullptr);

  RomCopyPage& Page() { return page_; }

  // RomCopyPageView
  std::string CpField() const override;
  std::string ApField() const override;
  void ShowPaths(const std::string& cp, const std::string& ap) override;
  void ShowPorts(const PortScan::Result& scan) override;
  void EnableStart(bool enabled) override;
  void ShowMode(int mode) override;
  void ShowEraseCp(bool checked) override;
  void SetScanTimer(bool running) override;
  void RunDownloadWindow(const RunRequest& request) override;

 private:
  QWidget* BuildFiles();
  QWidget* BuildMode();
  QWidget* BuildPorts();
  QLineEdit* FileRow(QWidget* group, const QString& label, bool modem);

  OpenWindow openWindow_;
  QTimer scanTimer_;
  QLineEdit* cp_ = nullptr;
  QLineEdit* ap_ = nullptr;
  QRadioButton* normal_ = nullptr;
  QRadioButton* multi_ = nullptr;
  QCheckBox* eraseCp_ = nullptr;
  QComboBox* ports_ = nullptr;
  QComboBox* drivers_ = nullptr;
  IconButton* start_ = nullptr;
  RomCopyPage page_;
};

}  // namespace gui
