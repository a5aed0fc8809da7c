// The download window on the offscreen platform: a real run of model.so into a simulated phone,
// the log saved from its menu, the log hidden and shown again, where the menu opens, the bar's
// repaints, and closing during a run.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QColor>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTimer>
#include <fstream>
#include <functional>
#include <sstream>

#include "corvane/platform/notify.h"
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

// The popup that a context-menu request to `widget` opened (closed again at once), or null.
const QWidget* PopupOpenedBy(QWidget* widget, QContextMenuEvent::Reason reason) {
  const QWidget* seen = nullptr;
  bool looked = false;
  QTimer::singleShot(0, [&] {
    QWidget* popup = QApplication::activePopupWidget();
    seen = popup;
    looked = true;
    if (popup != nullptr) popup->close();
  });
  const QPoint at(5, 5);
  QContextMenuEvent request(reason, at, widget->mapToGlobal(at));
  QApplication::sendEvent(widget, &request);
  while (!looked) QApplication::processEvents();
  return seen;
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

// The window's menu, not the log's own Copy/Select All, answers a right click over the log or
// anywhere else; a request from the keyboard carries no point on the window and opens nothing.
TEST_F(DownloadWindowTest, TheMenuOpensOnARightClickAnywhereButNotFromTheKeyboard) {
  gui::DownloadWindowDialog window(page.Request(), dir.Path().string());
  QWidget* log = window.findChild<QPlainTextEdit*>("log")->viewport();
  EXPECT_EQ(PopupOpenedBy(log, QContextMenuEvent::Mouse), window.ContextMenu());
  EXPECT_EQ(PopupOpenedBy(window.findChild<QLabel*>("lists"), QContextMenuEvent::Mouse),
            window.ContextMenu());
  EXPECT_EQ(PopupOpenedBy(log, QContextMenuEvent::Keyboard), nullptr);
  EXPECT_EQ(PopupOpenedBy(&window, QContextMenuEvent::Keyboard), nullptr);
}

// Hidden, the window is 70 pixels high with the bar as it was; the next window opens whole.
// Not shown (see above): its layout is activated as showing it would, which gives the window
// its least size.
TEST_F(DownloadWindowTest, HiddenLogLeavesTheBarInSeventyPixelsAndTheNextWindowOpensWhole) {
  int shownHeight = 0;
  {
    gui::DownloadWindowDialog window(page.Request(), dir.Path().string());
    window.layout()->activate();
    shownHeight = window.height();
    auto* bar = window.findChild<widgets::TextProgressBar*>("progress");
    const int barHeight = bar->height();
    Trigger(window, "&Hidden Log");
    window.layout()->activate();
    EXPECT_EQ(window.height(), gui::DownloadWindowDialog::kHiddenHeight);
    EXPECT_EQ(bar->height(), barHeight);
  }
  gui::DownloadWindowDialog next(page.Request(), dir.Path().string());
  next.layout()->activate();
  EXPECT_GT(next.height(), gui::DownloadWindowDialog::kHiddenHeight);
  EXPECT_FALSE(next.findChild<QGroupBox*>()->isHidden());
  // The collapse is remembered by the process: here the first "&Hidden Log" restores.
  Trigger(next, "&Hidden Log");
  EXPECT_EQ(next.height(), shownHeight);
  EXPECT_FALSE(next.findChild<QGroupBox*>()->isHidden());
}

// On top of the other windows; "D/S lists" and the wait until the page's read has finished,
// and only then the list of files and "File Reading complete!".
TEST_F(DownloadWindowTest, StaysOnTopAndListsTheFilesOnlyOnceTheirReadHasFinished) {
  page.Store().ClearReadingComplete();
  gui::DownloadWindowDialog window(page.Request(), dir.Path().string());
  EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  auto* lists = window.findChild<QLabel*>("lists");
  auto* bar = window.findChild<widgets::TextProgressBar*>("progress");
  window.Start();
  window.Run().Tick();
  EXPECT_EQ(lists->text().toStdString(), "D/S lists");
  EXPECT_EQ(bar->Text().toStdString(), "   ");
  page.Store().ReadImages(page.Files().CheckedPaths(), page.Files().CheckedLoads());
  window.Run().Tick();
  EXPECT_TRUE(lists->text().startsWith("==  download lists  ==\n1. "))
      << lists->text().toStdString();
  EXPECT_EQ(bar->Text(), "File Reading complete!");
  ASSERT_TRUE(WaitFor([&] { return !window.Run().Running(); }));
}

// The same notice twice draws the bar once; the log shows its newest line even when the user
// had scrolled up.
TEST_F(DownloadWindowTest, TheBarRepaintsOnlyForAChangeAndTheLogFollowsItsLastLine) {
  gui::DownloadWindowDialog window(page.Request(), dir.Path().string());
  // Shown with its log hidden: 70 pixels are drawn on this thread, where a whole window's fill
  // would go to Qt's thread pool (see above).
  Trigger(window, "&Hidden Log");
  window.show();
  auto* bar = window.findChild<widgets::TextProgressBar*>("progress");
  window.ShowProgress(40, "Processing completed 40%", notify::Tone::kNormal);
  QApplication::processEvents();
  const int paints = bar->PaintCount();
  window.ShowProgress(40, "Processing completed 40%", notify::Tone::kNormal);
  QApplication::processEvents();
  EXPECT_EQ(bar->PaintCount(), paints);
  window.hide();
  Trigger(window, "&Hidden Log");  // the process's flag as it was

  QScrollBar* scroll = window.findChild<QPlainTextEdit*>("log")->verticalScrollBar();
  for (int i = 0; i < 100; ++i) window.AppendLog("line " + std::to_string(i));
  scroll->setValue(0);
  window.AppendLog("the newest line");
  EXPECT_GT(scroll->maximum(), 0);
  EXPECT_EQ(scroll->value(), scroll->maximum());
}

// "&Save Log" keeps every line of the run, also those the 500-line rule took from the view.
TEST_F(DownloadWindowTest, SaveLogWritesTheLinesTheViewNoLongerHolds) {
  page.Store().ClearReadingComplete();  // no run of its own: the lines come from here
  gui::DownloadWindowDialog window(page.Request(), dir.Path().string());
  window.Start();
  for (int i = 1; i <= 600; ++i) {
    const std::string line = "line " + std::to_string(i);
    platform::SendWindowMessage(&window.Run().Mailbox(), notify::kMsgNotify, notify::kStatusText,
                                reinterpret_cast<platform::LPARAM>(line.c_str()));
  }
  Trigger(window, "&Save Log");
  std::ifstream saved(dir / "Log.rtf");
  std::stringstream text;
  text << saved.rdbuf();
  EXPECT_NE(text.str().find(":line 1\\par"), std::string::npos);
  EXPECT_NE(text.str().find(":line 600\\par"), std::string::npos);
}

}  // namespace
