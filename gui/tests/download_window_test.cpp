// The download window on the offscreen platform: a real run of model.so into a simulated phone,
// the log saved from its menu, the log hidden and shown again, and closing during a run.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QColor>
#include <QGroupBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTimer>
#include <fstream>
#include <functional>
#include <sstream>

#include "corvane/platform/process.h"
#include "gui/dialogs.h"
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

phonesim::builders::SampleFirmwareOptions SmallFirmware() {
  phonesim::builders::SampleFirmwareOptions small;
  small.bootBytes = 70000 + 17;
  small.recoveryBytes = 20000 + 3;
  small.systemBytes = 600005;
  small.modemCodeBytes = 40000;
  return small;
}

// A sheet whose Normal D/L page has a firmware set read and a simulated phone on its port, and
// the user's answers to the window's questions.
class DownloadWindowTest : public ::testing::Test {
 protected:
  DownloadWindowTest() {
    page.AddFiles(firmware.Files());
    for (int i = 0; i < 5; ++i) page.ScanTimer();
    g_nCurPage = 1;
    page.Store().ReadImages(page.Files().CheckedPaths(), page.Files().CheckedLoads());
    previousQuestions = gui::SetQuestionHook([this](const QString& text) {
      questions.push_back(text.toStdString());
      return answer;
    });
  }
  ~DownloadWindowTest() override { gui::SetQuestionHook(previousQuestions); }

  // The GUI thread waits in its event loop, as the program does, so mail is delivered at once.
  static bool WaitFor(const std::function<bool()>& done) {
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
      if (done()) loop.quit();
    });
    look.start(10);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
  }

  testing_support::DiscoverySandbox sandbox;
  testing_support::TempDir dir;
  testing_support::MessageBoxes boxes;
  phonesim::builders::SampleFirmware firmware =
      phonesim::builders::SampleFirmware::Write(dir.Path().string(), SmallFirmware());
  phonesim::SimulatedTq4410 phone;
  gui::SheetWindow sheet{{{platform::ExecutableDirectory(), dir.Path().string()}, [this] {
                            SerialPortEntry entry;
                            entry.portName = "pts";
                            entry.portNumber = phone.PortNumber();
                            entry.description = "Zelco Mobile USB Modem";
                            return std::vector<SerialPortEntry>{entry};
                          }}};
  NormalPage& page = sheet.Normal().Page();
  std::vector<std::string> questions;
  bool answer = false;
  gui::QuestionHook previousQuestions;
};

void Trigger(gui::DownloadWindowDialog& window, const QString& item) {
  for (QAction* action : window.ContextMenu()->actions()) {
    if (action->text() == item) action->trigger();
  }
}

TEST_F(DownloadWindowTest, ARunEndsCompleteItsLogIsSavedAndHiddenAndItClosesWithoutAsking) {
  gui::DownloadWindowDialog window(page.Request(), dir.Path().string());
  // Not shown: Qt fills large areas on its own thread pool, whose locks the thread sanitizer
  // cannot see (Debian's Qt is not instrumented). The run, the mail and the widgets are real.
  window.Start();
  EXPECT_EQ(window.windowTitle(), "Download Window");
  auto* bar = window.findChild<widgets::TextProgressBar*>("progress");
  ASSERT_NE(bar, nullptr);
  ASSERT_TRUE(WaitFor([&] { return !window.Run().Running(); }));
  const QString log = window.findChild<QPlainTextEdit*>("log")->toPlainText();
  EXPECT_EQ(bar->Text(), "Download complete!") << log.toStdString();
  EXPECT_TRUE(log.startsWith("00:")) << log.toStdString();

  Trigger(window, "&Save Log");
  std::ifstream saved(dir / "Log.rtf");
  std::stringstream text;
  text << saved.rdbuf();
  EXPECT_EQ(text.str().rfind("{\\rtf1", 0), 0u);
  EXPECT_NE(text.str().find("Sec  :"), std::string::npos);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Log file is saved!"});

  const int shownHeight = window.height();
  Trigger(window, "&Hidden Log");
  EXPECT_EQ(window.height(), gui::DownloadWindowDialog::kHiddenHeight);
  Trigger(window, "&Hidden Log");
  EXPECT_EQ(window.height(), shownHeight);
  EXPECT_FALSE(window.findChild<QGroupBox*>()->isHidden());

  int finished = 0;
  QObject::connect(&window, &QDialog::finished, [&] { ++finished; });
  window.reject();
  EXPECT_EQ(finished, 1);
  EXPECT_TRUE(questions.empty());
}

TEST_F(DownloadWindowTest, ClosingDuringARunAsksAndNoKeepsItRunning) {
  phonesim::Fault silent;
  silent.times = 1000000;
  phone.Device().InjectFault(silent);
  gui::DownloadWindowDialog window(page.Request(), dir.Path().string());
  window.Start();
  auto* log = window.findChild<QPlainTextEdit*>("log");
  ASSERT_TRUE(WaitFor([&] { return !log->toPlainText().isEmpty(); }));  // it talks to the phone
  int finished = 0;
  QObject::connect(&window, &QDialog::finished, [&] { ++finished; });

  window.reject();  // Escape and the close box come here
  EXPECT_EQ(questions, std::vector<std::string>{gui::DownloadWindowDialog::kStopQuestion});
  EXPECT_EQ(finished, 0);
  EXPECT_TRUE(window.Run().Running());

  answer = true;
  window.reject();
  EXPECT_EQ(questions.size(), 2u);
  EXPECT_EQ(finished, 1);
  EXPECT_FALSE(window.Run().Running());
}

// A plug-in that reports a failure and then claims completion and success: the window asks the
// run's outcome, not the last code, so it ends on red with the failure's line.
TEST_F(DownloadWindowTest, AFailureThenACompletionEndsRed) {
  page.ChoosePlugin(platform::ExecutableDirectory() + "/failing_model.so");
  gui::DownloadWindowDialog window(page.Request(), dir.Path().string());
  window.Start();
  ASSERT_TRUE(WaitFor([&] { return !window.Run().Running(); }));
  auto* bar = window.findChild<widgets::TextProgressBar*>("progress");
  EXPECT_EQ(bar->Text(), "Error");
  EXPECT_EQ(bar->UnfilledColour(), QColor(Qt::red));
  EXPECT_EQ(window.Run().Verdict().reason, "The phone refused the block");
  EXPECT_TRUE(phone.Device().Requests().empty());
}

}  // namespace
