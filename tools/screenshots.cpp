// tarvex-screenshots DIR: the program's windows as a user sees them, written as PNG files:
// the Normal D/L page with a sample firmware set listed and a simulated phone's port seen, the
// ROM copy page, the port view, the download window running, finished, failed and with its log
// hidden, and the multi-port window with three phones of which one fails, and one of its status
// windows. scripts/screenshots.sh runs it under Xvfb.

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFrame>
#include <QMenu>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "corvane/platform/process.h"
#include "gui/download_window.h"
#include "gui/multi_port_window.h"
#include "gui/normal_page_widget.h"
#include "gui/port_view.h"
#include "gui/rom_copy_page_widget.h"
#include "gui/sheet_window.h"
#include "gui/sounds.h"
#include "host/port_diagnosis.h"
#include "host/simulation.h"
#include "widgets/text_progress_bar.h"

namespace {

namespace fs = std::filesystem;

bool Save(QWidget& window, const fs::path& file) {
  QApplication::processEvents();
  const bool saved = window.grab().save(QString::fromStdString(file.string()));
  std::printf("%s %s\n", saved ? "wrote" : "could not write", file.c_str());
  return saved;
}

// Waits in the event loop, as the program does, until `done`, or two minutes.
bool Until(const std::function<bool()>& done) {
  QEventLoop loop;
  QTimer look;
  QObject::connect(&look, &QTimer::timeout, [&] {
    if (done()) loop.quit();
  });
  look.start(10);
  QTimer limit;
  limit.setSingleShot(true);
  QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
  limit.start(120000);
  if (!done()) loop.exec();
  return done();
}

// A phone port that nothing answers on: its run fails.
SerialPortEntry MissingPhone() {
  SerialPortEntry entry;
  entry.portName = "ttyACM9";
  entry.portNumber = 250;
  entry.description = "Zelco Mobile USB Modem";
  return entry;
}

void Trigger(QMenu* menu, const QString& text) {
  for (QAction* action : menu->actions()) {
    if (action->text() == text) action->trigger();
  }
}

bool DownloadWindowShots(gui::SheetWindow& sheet, const std::string& settings,
                         const fs::path& out) {
  NormalPage& page = sheet.Normal().Page();
  page.Store().ReadImages(page.Files().CheckedPaths(), page.Files().CheckedLoads());
  gui::DownloadWindowDialog window(page.Request(), settings, &sheet);
  window.show();
  window.Start();
  auto* bar = window.findChild<widgets::TextProgressBar*>("progress");
  bool ok = Until([&] { return bar->GetPos() >= 40 && bar->GetPos() <= 100; });
  ok = Save(window, out / "download-running.png") && ok;
  ok = Until([&] { return bar->Text() == "Download complete!" || bar->Text() == "Error"; }) && ok;
  ok = Save(window, out / "download-complete.png") && ok;
  Trigger(window.ContextMenu(), "&Hidden Log");
  ok = Save(window, out / "download-log-hidden.png") && ok;
  Trigger(window.ContextMenu(), "&Hidden Log");
  window.reject();
  return ok;
}

// The page's files read, the download window run until its bar says "Error", and its picture.
bool ErrorShot(NormalPage& page, const std::string& settings, const fs::path& png) {
  page.Store().ReadImages(page.Files().CheckedPaths(), page.Files().CheckedLoads());
  gui::DownloadWindowDialog window(page.Request(), settings);
  window.show();
  window.Start();
  auto* bar = window.findChild<widgets::TextProgressBar*>("progress");
  const bool ok = Until([&] { return bar->Text() == "Error"; });
  return Save(window, png) && ok;
}

bool FailedDownloadShot(const gui::SheetWindow::Setup& setup, const std::vector<std::string>& files,
                        const fs::path& out) {
  gui::SheetWindow sheet(
      {setup.places, [] { return std::vector<SerialPortEntry>{MissingPhone()}; }});
  NormalPage& page = sheet.Normal().Page();
  page.AddFiles(files);
  for (int i = 0; i < PortScan::kScansBeforeStart; ++i) page.ScanTimer();
  return ErrorShot(page, setup.places.settingsDirectory, out / "download-failed.png");
}

// A ticked file that no partition names: the plug-in's check refuses the set before the phone.
bool RefusedDownloadShot(const gui::SheetWindow::Setup& setup, std::vector<std::string> files,
                         const fs::path& out) {
  gui::SheetWindow sheet(setup);
  const fs::path extra = fs::path(setup.places.settingsDirectory) / "Boot.img";
  std::ofstream(extra) << "not in the partition table";
  files.push_back(extra.string());
  sheet.Normal().Page().AddFiles(files);
  return ErrorShot(sheet.Normal().Page(), setup.places.settingsDirectory,
                   out / "download-refused.png");
}

bool MultiPortShots(gui::SheetWindow& sheet, const fs::path& out) {
  const auto discover = [] {
    std::vector<SerialPortEntry> ports = PortScan::SystemDiscovery()();
    ports.push_back(MissingPhone());
    return ports;
  };
  gui::MultiPortDialog window(sheet.Normal().Page().Request(), discover, &sheet);
  window.setWindowFlag(Qt::WindowStaysOnTopHint, false);
  window.show();
  window.Start();
  const auto panels = [&] { return window.Panels()->findChildren<QFrame*>("statusWindow"); };
  bool ok = Until([&] { return panels().size() == 3 && !window.Run().AnyRunning(); });
  ok = Save(window, out / "multi-port.png") && ok;
  if (!panels().isEmpty()) ok = Save(*panels().front(), out / "status-window.png") && ok;
  window.Run().CloseAll();
  window.reject();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: tarvex-screenshots DIRECTORY\n");
    return 2;
  }
  gui::MuteSounds();
  const fs::path out = argv[1];
  fs::create_directories(out);
  const std::string program = platform::ExecutableDirectory();
  // A real phone's pace, so that the running window shows a run in progress.
  // Before any thread of the program starts.
  setenv("TARVEX_SIM_EMMC_BYTES_PER_S", "4000000", 0);  // NOLINT(concurrency-mt-unsafe)
  simulation::Attached::Failure failure{};
  std::string error;
  auto phones = simulation::Attached::Attach(program, {simulation::Firmware::kDownload, 3, true},
                                             failure, error);
  if (!phones) {
    std::fprintf(stderr, "tarvex-screenshots: %s\n", error.c_str());
    return 1;
  }
  const fs::path settings = out / ".settings";
  fs::create_directories(settings);
  const gui::SheetWindow::Setup setup{{program, settings.string()}, PortScan::SystemDiscovery()};
  gui::SheetWindow sheet(setup);
  sheet.show();
  sheet.Normal().Page().AddFiles(phones->Files());
  for (int i = 0; i < PortScan::kScansBeforeStart; ++i) sheet.Normal().Page().ScanTimer();
  bool ok = Save(sheet, out / "normal-page.png");
  sheet.findChild<QTabWidget*>()->setCurrentIndex(1);
  for (int i = 0; i < PortScan::kScansBeforeStart; ++i) sheet.RomCopy().Page().ScanTimer();
  ok = Save(sheet, out / "rom-copy-page.png") && ok;
  {
    gui::PortView ports(diagnosis::System::Current(), &sheet);
    ports.show();
    ok = Save(ports, out / "port-view.png") && ok;
  }
  sheet.findChild<QTabWidget*>()->setCurrentIndex(0);
  ok = DownloadWindowShots(sheet, settings.string(), out) && ok;
  ok = FailedDownloadShot(setup, phones->Files(), out) && ok;
  ok = RefusedDownloadShot(setup, phones->Files(), out) && ok;
  ok = MultiPortShots(sheet, out) && ok;
  fs::remove_all(settings);
  return ok ? 0 : 1;
}
