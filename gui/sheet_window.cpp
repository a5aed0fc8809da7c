#include "gui/sheet_window.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "gui/download_window.h"
#include "gui/multi_port_window.h"
#include "gui/normal_page_widget.h"
#include "gui/port_view.h"
#include "gui/records_window.h"
#include "gui/rom_copy_page_widget.h"
#include "host/resources.h"

// The icons are compiled into the static GUI library, whose resources need registering.
static void RegisterIcons() { Q_INIT_RESOURCE(icons); }

namespace gui {

SheetWindow::SheetWindow(const Setup& setup, QWidget* parent)
    : QDialog(parent),
      settingsDirectory_(setup.places.settingsDirectory),
      discover_(setup.discover) {
  RegisterIcons();
  setWindowTitle(QString::fromUtf8(ProgramString(102)));
  setWindowIcon(QIcon(":/icons/tarvex.svg"));
  const auto open = [this](const RunRequest& request) { OpenDownloadWindow(request); };
  tabs_ = new QTabWidget(this);
  normal_ = new NormalPageWidget(setup.places, setup.discover, open, tabs_);
  const auto plugin = [this] { return normal_->Page().Plugin(); };
  romCopy_ = new RomCopyPageWidget(setup.discover, plugin, open, tabs_);
  sheet_ = std::make_unique<Sheet>(normal_->Page(), romCopy_->Page());
  connect(normal_, &NormalPageWidget::DeviceManagerRequested, this, [this] {
    PortView view(diagnosis::System::Current(), this);
    view.exec();
  });
  connect(normal_, &NormalPageWidget::RecordsRequested, this, [this] {
    RecordsWindow records(records_, this);
    records.exec();
  });
  tabs_->addTab(normal_, "Normal D/L");
  tabs_->addTab(romCopy_, "ROM copy D/L");
  sheet_->Activate(0);
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int tab) { sheet_->Activate(tab); });

  auto* buttons = new QDialogButtonBox(this);
  auto* reset = buttons->addButton("Initialization", QDialogButtonBox::ActionRole);
  reset->setObjectName("initialization");
  auto* exit = buttons->addButton("Exit", QDialogButtonBox::RejectRole);
  exit->setObjectName("exit");
  connect(reset, &QPushButton::clicked, this, [this] { sheet_->Initialization(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_, 1);
  layout->addWidget(buttons);
  resize(760, 620);
}

SheetWindow::~SheetWindow() = default;

// The sheet stays hidden while the window runs, so the pages get no input meanwhile.
void SheetWindow::SetRecords(std::shared_ptr<records::Recorder> recorder,
                             records::Settings settings) {
  recorder_ = std::move(recorder);
  records_ = std::move(settings);
}

void SheetWindow::OpenDownloadWindow(const RunRequest& page) {
  RunRequest request = page;
  AttachRecords(request, recorder_, records_, discover_());
  hide();
  if (!request.multi) {
    DownloadWindowDialog run(request, settingsDirectory_, this);
    run.Start();
    run.exec();
  } else {
    MultiPortDialog run(request, discover_, this);
    run.Start();
    run.exec();
  }
  show();
}

}  // namespace gui
