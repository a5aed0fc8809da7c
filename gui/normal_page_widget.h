#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "host/normal_page.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace gui {

class IconButton;

// The "Normal D/L" tab: the controls of the page, drawn from and reporting to `NormalPage`.
class NormalPageWidget : public QWidget, public NormalPageView {
  Q_OBJECT

 public:
  using OpenWindow = std::function<void(const RunRequest&)>;

  NormalPageWidget(NormalPage::Places places, PortScan::Discover discover, OpenWindow openWindow,
                   QWidget* parent = nullptr);
  ~NormalPageWidget() override;

  NormalPage& Page() { return *page_; }

  // NormalPageView
  void ShowFiles(const std::vector<FileTable::Row>& rows, const std::string& header) override;
  void ShowHeader(const std::string& header) override;
  void ShowPorts(const PortScan::Result& scan) override;
  void EnableStart(bool enabled) override;
  void ShowLabels(const std::string& model, const std::string& version,
                  const std::string& date) override;
  void ShowErase(bool entireAp, bool userData, bool entireCp) override;
  void ShowMode(int mode) override;
  bool AskYesNo(const std::string& text) override;
  void PlayStartSound() override;
  void SetScanTimer(bool running) override;
  void RunDownloadWindow(const RunRequest& request) override;

 signals:
  void DeviceManagerRequested();
  void RecordsRequested();

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Build();
  QWidget* BuildPluginRow();
  QWidget* BuildFileButtons();
  QWidget* BuildEraseBoxes();
  QWidget* BuildPortRow();
  QWidget* BuildFooter();
  void CheckChanged(QTreeWidgetItem* item, int column);

  OpenWindow openWindow_;
  QTimer scanTimer_;
  QLabel* model_ = nullptr;
  QLabel* version_ = nullptr;
  QLabel* date_ = nullptr;
  QTreeWidget* list_ = nullptr;
  QCheckBox* eraseAp_ = nullptr;
  QCheckBox* eraseUserData_ = nullptr;
  QCheckBox* eraseCp_ = nullptr;
  QComboBox* ports_ = nullptr;
  QComboBox* drivers_ = nullptr;
  QComboBox* mode_ = nullptr;
  IconButton* start_ = nullptr;
  bool filling_ = false;  // the list is being refilled: check changes are not the user's
  std::unique_ptr<NormalPage> page_;
};

}  // namespace gui
