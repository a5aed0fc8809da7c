// tarvex: the host program. The main sheet is the program's only top-level window; the program
// ends when it closes.
//
//   tarvex [--simulate [N]]   N simulated TQ4410 phones (default 1) attached while it runs

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstring>
#include <memory>

#include "corvane/platform/process.h"
#include "gui/dialogs.h"
#include "gui/sheet_window.h"
#include "gui/sleep_inhibitor.h"
#include "host/settings.h"
#include "host/simulation.h"

namespace {

// The phones of --simulate, with a sample firmware set to add to the page; they live as long
// as the program. 0 phones: none asked for.
int SimulatedPhones(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--simulate") != 0) continue;
    const long n = i + 1 < argc ? std::strtol(argv[i + 1], nullptr, 10) : 0;
    return n > 0 ? static_cast<int>(std::min(n, 8L)) : 1;
  }
  return 0;
}

std::unique_ptr<simulation::Attached> Simulate(int phones, const std::string& program) {
  simulation::Attached::Failure failure{};
  std::string error;
  auto attached = simulation::Attached::Attach(
      program, {simulation::Firmware::kDownload, phones, true}, failure, error);
  if (!attached) {
    QMessageBox::warning(nullptr, "Tarvex", QString::fromStdString(error));
    return nullptr;
  }
  std::printf("Sample firmware written to %s\n", attached->Directory().c_str());
  for (const std::string& path : attached->DevicePaths()) {
    std::printf("Simulated TQ4410 attached on %s\n", path.c_str());
  }
  std::fflush(stdout);
  return attached;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tarvex");
  gui::InstallMessageBoxHook();
  gui::SleepInhibitor::Install();
  const std::string program = platform::ExecutableDirectory();
  std::unique_ptr<simulation::Attached> simulated;
  if (const int phones = SimulatedPhones(argc, argv); phones > 0) {
    simulated = Simulate(phones, program);
  }
  gui::SheetWindow::Setup setup{
      {program, settings::Directory(program, platform::UserConfigDirectory())},
      PortScan::SystemDiscovery()};
  gui::SheetWindow sheet(setup);
  sheet.show();
  return QApplication::exec();
}
