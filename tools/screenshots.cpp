// tarvex-screenshots DIR: the program's windows as a user sees them, written as PNG files:
// the Normal D/L page with a sample firmware set listed and a simulated phone's port seen, the
// ROM copy page, and the port view. scripts/screenshots.sh runs it under Xvfb.

#include <QApplication>
#include <QTabWidget>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "corvane/platform/process.h"
#include "gui/normal_page_widget.h"
#include "gui/port_view.h"
#include "gui/rom_copy_page_widget.h"
#include "gui/sheet_window.h"
#include "gui/sounds.h"
#include "host/port_diagnosis.h"
#include "host/simulation.h"

namespace {

bool Save(QWidget& window, const std::filesystem::path& file) {
  QApplication::processEvents();
  const bool saved = window.grab().save(QString::fromStdString(file.string()));
  std::printf("%s %s\n", saved ? "wrote" : "could not write", file.c_str());
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: tarvex-screenshots DIRECTORY\n");
    return 2;
  }
  gui::MuteSounds();
  const std::filesystem::path out = argv[1];
  std::filesystem::create_directories(out);
  const std::string program = platform::ExecutableDirectory();
  simulation::Attached::Failure failure{};
  std::string error;
  auto phones = simulation::Attached::Attach(program, {simulation::Firmware::kDownload, 2, true},
                                             failure, error);
  if (!phones) {
    std::fprintf(stderr, "tarvex-screenshots: %s\n", error.c_str());
    return 1;
  }
  const std::filesystem::path settings = out / ".settings";
  std::filesystem::create_directories(settings);
  gui::SheetWindow sheet({{program, settings.string()}, PortScan::SystemDiscovery()});
  sheet.show();
  sheet.Normal().Page().AddFiles(phones->Files());
  for (int i = 0; i < PortScan::kScansBeforeStart; ++i) sheet.Normal().Page().ScanTimer();
  bool ok = Save(sheet, out / "normal-page.png");
  sheet.findChild<QTabWidget*>()->setCurrentIndex(1);
  for (int i = 0; i < PortScan::kScansBeforeStart; ++i) sheet.RomCopy().Page().ScanTimer();
  ok = Save(sheet, out / "rom-copy-page.png") && ok;
  gui::PortView ports(diagnosis::System::Current(), &sheet);
  ports.show();
  ok = Save(ports, out / "port-view.png") && ok;
  std::filesystem::remove_all(settings);
  return ok ? 0 : 1;
}
