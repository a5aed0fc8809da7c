// The download window on the offscreen platform: a real run of model.so into a simulated phone,
// and the log saved from its menu.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTimer>
#include <fstream>
#include <sstream>

#include "corvane/platform/process.h"
#include "gui/download_window.h"
#include "gui/normal_page_widget.h"
#include "gui/rom_copy_page_widget.h"
#include "gui/sheet_window.h"
#include "sim/builders/sample_firmware.h"
#include "sim/tq4410.h"
#include "support/discovery_sandbox.h"
#include "support/message_boxes.h"
#include "support/temp_dir.h"
#include "widgets/text_progress_bar.h"

namespace {

TEST(DownloadWindowTest, ARunEndsCompleteAndItsLogIsSavedAsRichText) {
  testing_support::DiscoverySandbox sandbox;
  testing_support::TempDir dir;
  testing_support::MessageBoxes boxes;
  phonesim::builders::SampleFirmwareOptions small;
  small.bootBytes = 70000 + 17;
  small.recoveryBytes = 20000 + 3;
  small.systemBytes = 600005;
  small.modemCodeBytes = 40000;
  const auto firmware = phonesim::builders::SampleFirmware::Write(dir.Path().string(), small);
  phonesim::SimulatedTq4410 phone;
  SerialPortEntry entry;
  entry.portName = "pts";
  entry.portNumber = phone.PortNumber();
  entry.description = "Zelco Mobile USB Modem";
  gui::SheetWindow sheet({{platform::ExecutableDirectory(), dir.Path().string()},
                          [entry] { return std::vector<SerialPortEntry>{entry}; }});
  NormalPage& page = sheet.Normal().Page();
  page.AddFiles(firmware.Files());
  for (int i = 0; i < 5; ++i) page.ScanTimer();
  g_nCurPage = 1;
  page.Store().ReadImages(page.Files().CheckedPaths(), page.Files().CheckedLoads());

  gui::DownloadWindowDialog window(page, sheet.RomCopy().Page(), dir.Path().string());
  // Not shown: Qt fills large areas on its own thread pool, whose locks the thread sanitizer
  // cannot see (Debian's Qt is not instrumented). The run, the mail and the widgets are real.
  window.Start();
  EXPECT_EQ(window.windowTitle(), "Download Window");
  auto* bar = window.findChild<widgets::TextProgressBar*>("progress");
  ASSERT_NE(bar, nullptr);
  // The GUI thread waits in its event loop, as the program does, so mail is delivered at once.
  QEventLoop loop;
  QTimer look;
  QObject::connect(&look, &QTimer::timeout, [&] {
    if (bar->Text() == "Download complete!" || bar->Text() == "Error") loop.quit();
  });
  look.start(10);
  QTimer::singleShot(60000, &loop, &QEventLoop::quit);
  loop.exec();
  const QString log = window.findChild<QPlainTextEdit*>("log")->toPlainText();
  EXPECT_EQ(bar->Text(), "Download complete!") << log.toStdString();
  EXPECT_TRUE(log.startsWith("00:")) << log.toStdString();

  for (QAction* action : window.ContextMenu()->actions()) {
    if (action->text() == "&Save Log") action->trigger();
  }
  std::ifstream saved(dir / "Log.rtf");
  std::stringstream text;
  text << saved.rdbuf();
  EXPECT_EQ(text.str().rfind("{\\rtf1", 0), 0u);
  EXPECT_NE(text.str().find("Sec  :"), std::string::npos);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Log file is saved!"});
  window.reject();
}

}  // namespace
