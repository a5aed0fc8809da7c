// tarvex: the host program. The main sheet is the program's only top-level window; the program
// ends when it closes.

#include <QApplication>

#include "corvane/platform/process.h"
#include "gui/dialogs.h"
#include "gui/sheet_window.h"
#include "host/settings.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tarvex");
  gui::InstallMessageBoxHook();
  const std::string program = platform::ExecutableDirectory();
  gui::SheetWindow::Setup setup{
      {program, settings::Directory(program, platform::UserConfigDirectory())},
      PortScan::SystemDiscovery()};
  gui::SheetWindow sheet(setup);
  sheet.show();
  return QApplication::exec();
}
