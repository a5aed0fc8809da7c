#include "gui/rom_copy_page_widget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "gui/dialogs.h"
#include "gui/icon_button.h"
#include "gui/port_lists.h"

namespace gui {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::optional<std::string> ChooseImage(QWidget* parent) {
  const QString file = QFileDialog::getOpenFileName(parent, QString(), QString(), RomImageFilter(),
                                                    nullptr, QFileDialog::ReadOnly);
  if (file.isEmpty()) return std::nullopt;
  return file.toStdString();
}

}  // namespace

RomCopyPageWidget::RomCopyPageWidget(PortScan::Discover discover, RomCopyPage::PluginSource plugin,
                                     OpenWindow openWindow, QWidget* parent)
    : QWidget(parent),
      openWindow_(std::move(openWindow)),
      page_(*this, std::move(discover), std::move(plugin)) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(BuildFiles());
  layout->addWidget(BuildMode());
  layout->addWidget(BuildPorts());
  layout->addStretch(1);
  auto* footer = new QHBoxLayout();
  footer->addStretch(1);
  start_ = new IconButton(":/icons/start.svg", "&Start", this);
  start_->setObjectName("start");
  start_->setIconSize(QSize(40, 40));
  start_->setMinimumSize(QSize(96, 56));
  connect(start_, &QPushButton::clicked, this, [this] { page_.Start(); });
  footer->addWidget(start_);
  layout->addLayout(footer);
  scanTimer_.setInterval(PortScan::kPeriodMs);
  connect(&scanTimer_, &QTimer::timeout, this, [this] { page_.ScanTimer(); });
}

QLineEdit* RomCopyPageWidget::FileRow(QWidget* group, const QString& label, bool modem) {
  auto* grid = static_cast<QGridLayout*>(group->layout());
  const int row = grid->rowCount();
  auto* edit = new QLineEdit(group);
  auto* choose = new QPushButton("...", group);
  choose->setFixedWidth(36);
  connect(choose, &QPushButton::clicked, this, [this, modem] {
    if (modem) {
      page_.ChooseCp(ChooseImage(this));
    } else {
      page_.ChooseAp(ChooseImage(this));
    }
  });
  grid->addWidget(new QLabel(label, group), row, 0);
  grid->addWidget(edit, row, 1);
  grid->addWidget(choose, row, 2);
  return edit;
}

QWidget* RomCopyPageWidget::BuildFiles() {
  auto* group = new QGroupBox("Destination Binary File (*.bin or *.fls)", this);
  new QGridLayout(group);
  cp_ = FileRow(group, "CP bin:", true);
  cp_->setObjectName("cp");
  ap_ = FileRow(group, "AP bin:", false);
  ap_->setObjectName("ap");
  return group;
}

QWidget* RomCopyPageWidget::BuildMode() {
  auto* row = new QWidget(this);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* group = new QGroupBox("Select mode", row);
  auto* modes = new QVBoxLayout(group);
  normal_ = new QRadioButton("Normal mode", group);
  multi_ = new QRadioButton("Multi download mode", group);
  multi_->setObjectName("multiMode");
  modes->addWidget(normal_);
  modes->addWidget(multi_);
  connect(normal_, &QRadioButton::clicked, this, [this] { page_.ModeClicked(0); });
  connect(multi_, &QRadioButton::clicked, this, [this] { page_.ModeClicked(1); });
  eraseCp_ = new QCheckBox("Erase entire CP", row);
  eraseCp_->setEnabled(false);
  connect(eraseCp_, &QCheckBox::clicked, this, [this](bool on) { page_.EraseCpClicked(on); });
  auto* channels = new QGroupBox("# Channels", row);  // shown, as on the page; not used
  auto* channelsLayout = new QVBoxLayout(channels);
  channelsLayout->addWidget(new QLineEdit(channels));
  layout->addWidget(group, 1);
  layout->addWidget(eraseCp_);
  layout->addWidget(channels);
  return row;
}

QWidget* RomCopyPageWidget::BuildPorts() {
  auto* row = new QWidget(this);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  for (auto [title, combo] :
       {std::pair{"COM Port", &ports_}, {"Communication Driver", &drivers_}}) {
    auto* group = new QGroupBox(title, row);
    *combo = new QComboBox(group);
    (new QVBoxLayout(group))->addWidget(*combo);
    layout->addWidget(group, 1);
  }
  return row;
}

std::string RomCopyPageWidget::CpField() const { return cp_->text().toStdString(); }
std::string RomCopyPageWidget::ApField() const { return ap_->text().toStdString(); }

void RomCopyPageWidget::ShowPaths(const std::string& cp, const std::string& ap) {
  cp_->setText(Q(cp));
  ap_->setText(Q(ap));
}

void RomCopyPageWidget::ShowPorts(const PortScan::Result& scan) {
  FillPortLists(ports_, drivers_, scan);
}

void RomCopyPageWidget::EnableStart(bool enabled) { start_->setEnabled(enabled); }

void RomCopyPageWidget::ShowMode(int mode) { (mode == 1 ? multi_ : normal_)->setChecked(true); }

void RomCopyPageWidget::ShowEraseCp(bool checked) { eraseCp_->setChecked(checked); }

void RomCopyPageWidget::SetScanTimer(bool running) {
  if (running) {
    scanTimer_.start();
  } else {
    scanTimer_.stop();
  }
}

void RomCopyPageWidget::RunDownloadWindow(const RunRequest& request) { openWindow_(request); }

}  // namespace gui
