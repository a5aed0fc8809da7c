// tarvex: the host program. The main sheet is the program's only top-level window; the program
// ends when it closes, or on Ctrl-C, SIGTERM or SIGHUP after its runs have stopped.
//
//   tarvex [--simulate [N]]   N simulated TQ4410 phones (default 1) attached while it runs

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "corvane/platform/message_box.h"
#include "corvane/platform/process.h"
#include "corvane/platform/reporter.h"
#include "gui/dialogs.h"
#include "gui/normal_page_widget.h"
#include "gui/sheet_window.h"
#include "gui/signal_ending.h"
#include "host/records/recorder.h"
#include "host/records/records_settings.h"
#include "host/settings.h"
#include "host/simulation.h"
#include "host/sleep_inhibition.h"
#include "host/worker_end.h"

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

// Settings that could not be saved are said where the user will see it: in a box, or on
// standard error when a signal ended the program (nobody may be left to click OK).
void SaveSettings(gui::SheetWindow& sheet, bool signalled) {
  const std::string failed = sheet.Normal().Page().SaveSettings();
  if (failed.empty()) return;
  if (signalled) {
    std::fprintf(stderr, "%s\n", failed.c_str());
  } else {
    QMessageBox::warning(nullptr, "Tarvex", QString::fromStdString(failed));
  }
}

// The [Records] section of the settings the sheet reads.
records::Settings RecordSettings(const std::string& program, const settings::Location& location) {
  CIniFile ini;
  ini.Load(location.readDirectory + "/" + settings::kFileName);
  return records::SettingsOf(
      ini, records::DefaultFile(program, location.directory, platform::UserDataDirectory()),
      location.readDirectory);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tarvex");
  // Only the sheet's closing ends the program: a message box left last on screen must not.
  QApplication::setQuitOnLastWindowClosed(false);
  gui::InstallMessageBoxHook();
  sleep_inhibition::SetBackend(sleep_inhibition::SystemBackend(
      [](const std::string& line) { std::fprintf(stderr, "tarvex: %s\n", line.c_str()); }));
  gui::SignalEnding ending;
  const std::string program = platform::ExecutableDirectory();
  std::unique_ptr<simulation::Attached> simulated;
  if (const int phones = SimulatedPhones(argc, argv); phones > 0) {
    simulated = Simulate(phones, program);
  }
  const settings::Location location = settings::Locate(program, platform::UserConfigDirectory());
  if (!location.notice.empty()) platform::ShowMessageBox(location.notice);
  gui::SheetWindow::Setup setup{{program, location.directory, location.readDirectory},
                                PortScan::SystemDiscovery()};
  gui::SheetWindow sheet(setup);
  const records::Settings recordSettings = RecordSettings(program, location);
  std::shared_ptr<records::Recorder> recorder;
  if (!recordSettings.file.empty()) {
    recorder = std::make_shared<records::Recorder>(
        records::Recorder::Config{recordSettings.file, recordSettings.server,
                                  recordSettings.keepDays},
        [](const std::string& problem) { platform::ShowMessageBox(problem); });
  }
  // A station that keeps no records spends nothing on digests, in the plug-in's steps either.
  platform::SetStepDigestsWanted(recorder != nullptr);
  sheet.SetRecords(recorder, recordSettings);
  QObject::connect(&sheet, &QDialog::finished, &app, &QCoreApplication::quit);
  sheet.show();
  const int finished = QApplication::exec();
  const int status = ending.Status() != 0 ? ending.Status() : finished;
  SaveSettings(sheet, ending.Status() != 0);
  simulated.reset();
  if (recorder)
    recorder->Flush();  // the records are in their file before the program may end below
  // A plug-in that ignored its cancellation still runs on an abandoned worker: unloading it
  // under that thread would crash, so the program ends here, its settings saved.
  if (WorkerEnd::Abandoned() > 0) {
    std::fflush(nullptr);
    std::_Exit(status);
  }
  return status;
}
