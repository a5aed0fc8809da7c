// The multi-port window on the offscreen platform: real status windows of model.so running
// simulated phones side by side, their results in the table, a panel closed and its phone
// started again, and the window closed while phones are still being written.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include "corvane/platform/notify.h"
#include "corvane/platform/process.h"
#include "corvane/platform/run_outcome.h"
#include "corvane/platform/serial_device.h"
#include "corvane/platform/shared_library.h"
#include "corvane/protocol/sha256.h"
#include "gui/dialogs.h"
#include "gui/multi_port_window.h"
#include "gui/normal_page_widget.h"
#include "gui/rom_copy_page_widget.h"
#include "gui/sheet_window.h"
#include "host/records/local_store.h"
#include "host/records/recorder.h"
#include "host/run_request.h"
#include "sim/builders/sample_firmware.h"
#include "sim/tq4410.h"
#include "support/discovery_sandbox.h"
#include "support/message_boxes.h"
#include "support/temp_dir.h"

namespace {

std::string DigestOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  return sha256::Hex(sha256::Of(bytes.data(), bytes.size()));
}

class MultiPortTest : public testing::Test {
 protected:
  MultiPortTest() {
    phonesim::builders::SampleFirmwareOptions small;
    small.bootBytes = 70000 + 17;
    small.recoveryBytes = 20000 + 3;
    small.systemBytes = 300005;
    small.modemCodeBytes = 40000;
    firmware = std::make_unique<phonesim::builders::SampleFirmware>(
        phonesim::builders::SampleFirmware::Write(dir.Path().string(), small));
    sheet = std::make_unique<gui::SheetWindow>(gui::SheetWindow::Setup{
        {platform::ExecutableDirectory(), dir.Path().string()}, [this] { return ports; }});
    Page().AddFiles(firmware->Files());
    g_nCurPage = 1;
  }

  NormalPage& Page() { return sheet->Normal().Page(); }
  // The window as the page's Start opens it (the Normal D/L page's request by default).
  std::unique_ptr<gui::MultiPortDialog> Open(std::optional<RunRequest> request = std::nullopt) {
    auto window = std::make_unique<gui::MultiPortDialog>(request ? *request : Page().Request(),
                                                         [this] { return ports; });
    window->Start();
    return window;
  }
  void ReadFiles() {
    Page().Store().ReadImages(Page().Files().CheckedPaths(), Page().Files().CheckedLoads());
    ASSERT_TRUE(Until([&] { return Page().Store().ReadingEnded(); }));
  }
  void See(uint8_t port) {
    SerialPortEntry entry;
    entry.portName = "pts";
    entry.portNumber = port;
    entry.description = "Zelco Mobile USB Modem";
    ports.push_back(entry);
  }
  // Runs the event loop, as the program waits in it, until `done` or a minute has passed.
  template <typename Done>
  static bool Until(Done done, int ms = 60000) {
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
      if (done()) loop.quit();
    });
    look.start(10);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    if (!done()) loop.exec();
    return done();
  }
  static std::string Cell(gui::MultiPortDialog& window, int row, int column) {
    const QTableWidgetItem* item = window.Table()->item(row, column);
    return item != nullptr ? item->text().toStdString() : "";
  }
  static QList<QFrame*> Panels(gui::MultiPortDialog& window) {
    return window.Panels()->findChildren<QFrame*>("statusWindow");
  }
  static QPushButton* CloseButtonAt(gui::MultiPortDialog& window, QPoint topLeft) {
    for (QFrame* panel : Panels(window)) {
      if (panel->geometry().topLeft() == topLeft) return panel->findChild<QPushButton*>();
    }
    return nullptr;
  }
  // Closes the window, saying Yes when it asks whether to stop the phones still running.
  static void CloseSayingYes(gui::MultiPortDialog& window) {
    const gui::QuestionHook previous = gui::SetQuestionHook([](const QString&) { return true; });
    window.reject();
    gui::SetQuestionHook(previous);
  }

  testing_support::DiscoverySandbox sandbox;
  testing_support::TempDir dir;
  testing_support::MessageBoxes boxes;
  std::unique_ptr<phonesim::builders::SampleFirmware> firmware;
  std::vector<SerialPortEntry> ports;
  std::unique_ptr<gui::SheetWindow> sheet;
};

TEST_F(MultiPortTest, ThreePhonesPassPassFailAndAClosedPanelStartsItsPhoneAgain) {
  phonesim::SimulatedTq4410 phones[3];
  phones[2].Device().InjectFault(
      {.kind = phonesim::FaultKind::kRefuse, .command = 0x02, .skip = 1});
  for (auto& phone : phones) See(phone.PortNumber());
  ReadFiles();
  auto window = Open();
  EXPECT_EQ(Cell(*window, 0, 7), "PORT X");
  EXPECT_EQ(Cell(*window, 1, 7), "Ready...");
  for (int tick = 0; tick < 3; ++tick) {
    window->Run().Tick();  // one new port per tick
    for (int slot = 0; slot < 3; ++slot) EXPECT_EQ(window->Run().SlotBusy(slot), slot <= tick);
  }
  for (int slot = 0; slot < 3; ++slot) {
    EXPECT_EQ(window->Run().SlotPort(slot), phones[slot].PortNumber());
    EXPECT_EQ(Cell(*window, 0, slot), "PORT (" + std::to_string(phones[slot].PortNumber()) + ")");
  }
  EXPECT_EQ(Cell(*window, 1, 0), "Progress");
  ASSERT_TRUE(Until([&] { return !window->Run().AnyRunning(); }, 120000));
  EXPECT_EQ(Cell(*window, 1, 0), "Pass");
  EXPECT_EQ(Cell(*window, 1, 1), "Pass");
  EXPECT_EQ(Cell(*window, 1, 2), "Fail");
  EXPECT_TRUE(phones[0].VerifyNormalDownload(*firmware).ok);
  EXPECT_TRUE(phones[1].VerifyNormalDownload(*firmware).ok);
  // Each status window handed over its run's step record before its result: the partitions with
  // their files' digests, the status lines, the failed step of the failed run.
  const notify::StepHistory* passed = window->Run().PortSteps(phones[0].PortNumber());
  ASSERT_NE(passed, nullptr);
  const auto system =
      std::find_if(passed->steps.begin(), passed->steps.end(),
                   [](const notify::StepRecord& r) { return r.name == "system.img"; });
  ASSERT_NE(system, passed->steps.end());
  EXPECT_EQ(system->sha256, DigestOf(firmware->PathOf("system.img")));
  EXPECT_EQ(system->bytesHashed, 300005u);
  EXPECT_TRUE(system->succeeded && !system->partial);
  EXPECT_EQ(passed->lines.back(), "Download complete");
  const notify::StepHistory* failed = window->Run().PortSteps(phones[2].PortNumber());
  ASSERT_NE(failed, nullptr);
  ASSERT_FALSE(failed->steps.empty());
  EXPECT_FALSE(failed->steps.back().succeeded);
  // The failed phone's panel can be closed once its worker has ended.
  QPushButton* failedClose = CloseButtonAt(*window, {242, 0});
  ASSERT_NE(failedClose, nullptr);
  EXPECT_TRUE(Until([&] { return failedClose->isEnabled(); }));

  QPushButton* passedClose = CloseButtonAt(*window, {121, 0});
  ASSERT_NE(passedClose, nullptr);
  ASSERT_TRUE(Until([&] { return passedClose->isEnabled(); }));
  passedClose->click();
  EXPECT_FALSE(window->Run().SlotBusy(1));
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(Panels(*window).size(), 2);
  window->Run().Tick();  // the phone is still attached: it starts again in the same slot
  EXPECT_TRUE(window->Run().SlotBusy(1));
  EXPECT_EQ(window->Run().SlotPort(1), phones[1].PortNumber());
  EXPECT_EQ(Cell(*window, 1, 1), "Progress");
  CloseSayingYes(*window);
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(window->Run().AnyRunning());
}

// Ports start only once the files are read; the sixth phone's panel opens in the second row.
// These ports do not exist, so each run fails at once.
// A port another program has open gets no panel (its run could only fail): it is said once,
// below the table.
TEST_F(MultiPortTest, APortAnotherProgramHoldsGetsNoPanelAndIsSaidOnce) {
  phonesim::SimulatedTq4410 held;
  auto holder = platform::SerialDevice::Create();
  ASSERT_TRUE(holder->Open(held.Path()));
  See(held.PortNumber());
  ReadFiles();
  auto window = Open();
  window->Run().Tick();
  window->Run().Tick();
  EXPECT_FALSE(window->Run().SlotBusy(0));
  EXPECT_EQ(
      window->Notes()->text().toStdString(),
      "COM" + std::to_string(held.PortNumber()) + " (pts) is held by another program: passed over");
}

TEST_F(MultiPortTest, NothingStartsBeforeTheFilesAreReadAndTheSixthPanelIsInTheSecondRow) {
  for (uint8_t port = 200; port < 206; ++port) See(port);
  auto window = Open();
  window->Run().Tick();
  EXPECT_FALSE(window->Run().SlotBusy(0));
  ReadFiles();
  for (int tick = 0; tick < 6; ++tick) window->Run().Tick();
  const QList<QFrame*> panels = Panels(*window);
  ASSERT_EQ(panels.size(), 6);
  EXPECT_EQ(panels[5]->geometry(), QRect(0, 149, 121, 149));
  EXPECT_EQ(panels[4]->geometry().topLeft(), QPoint(484, 0));
  // "Download complete!" fits a panel's bar in the face that stands in for "Letha" here.
  panels[0]->layout()->activate();
  const QList<QWidget*> parts = panels[0]->findChildren<QWidget*>();
  const auto bar = std::find_if(parts.begin(), parts.end(), [](const QWidget* part) {
    return std::string(part->metaObject()->className()) == "widgets::TextProgressBar";
  });
  ASSERT_NE(bar, parts.end());
  EXPECT_EQ((*bar)->font().pixelSize(), 11);
  EXPECT_LE(QFontMetrics((*bar)->font()).horizontalAdvance("Download complete!"), (*bar)->width());
  ASSERT_TRUE(Until([&] { return !window->Run().AnyRunning(); }));
  EXPECT_EQ(Cell(*window, 1, 5), "Fail");
}

// A phone that never answers: closing the window a second into its run cancels the run, whose
// worker ends on its own; nothing waits for the link's time-outs.
TEST_F(MultiPortTest, ClosingDuringARunThatDoesNotAnswerEndsItsWorkerPromptly) {
  phonesim::SimulatedTq4410 phone;
  phone.Device().InjectFault({.kind = phonesim::FaultKind::kSilent, .times = 1000});
  See(phone.PortNumber());
  ReadFiles();
  auto window = Open();
  window->Run().Tick();
  Until([] { return false; }, 1000);
  ASSERT_TRUE(window->Run().AnyRunning());
  EXPECT_EQ(sleep_inhibition::Holds(), 1);  // the system stays awake while a phone is written
  QElapsedTimer clock;
  clock.start();
  CloseSayingYes(*window);
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(window->Run().SlotBusy(0));
  EXPECT_LT(clock.elapsed(), 5000);
  EXPECT_EQ(sleep_inhibition::Holds(), 0);
}

// A ticked file that the partition table does not name would never be written: the plug-in's
// pre-flight refuses it as the window opens, and no port starts.
TEST_F(MultiPortTest, AFileNoStepWouldWriteIsRefusedAsTheWindowOpens) {
  const std::string extra = dir / "Boot.img";  // the table names boot.img, case for case
  std::ofstream(extra) << "not in the partition table";
  Page().AddFiles({extra});
  phonesim::SimulatedTq4410 phone;
  See(phone.PortNumber());
  ReadFiles();
  auto window = Open();
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{extra + ": no step of this download would "
                                                            "write it (no partition of the "
                                                            "configuration names it)"});
  window->Run().Tick();
  EXPECT_FALSE(window->Run().SlotBusy(0));
  EXPECT_TRUE(phone.Device().Requests().empty());
}

// A failure reported to a panel stands, though its run then claims completion and success: the
// table says "Fail" and keeps the failure's line.
TEST_F(MultiPortTest, AFailureThenACompletionIsAFail) {
  phonesim::SimulatedTq4410 phone;
  See(phone.PortNumber());
  ReadFiles();
  auto window = Open();
  window->Run().Tick();
  ASSERT_EQ(Panels(*window).size(), 1);
  const auto panel = reinterpret_cast<platform::WindowHandle>(
      Panels(*window)[0]->property("messageTarget").value<quintptr>());
  ASSERT_NE(panel, nullptr);
  const char* line = "The phone refused the block";
  platform::SendWindowMessage(panel, notify::kMsgNotify, notify::kStatusText,
                              reinterpret_cast<platform::LPARAM>(line));
  platform::SendWindowMessage(panel, notify::kMsgNotify, notify::kProgress,
                              notify::kProgressFailed);
  ASSERT_TRUE(Until([&] { return !window->Run().AnyRunning(); }));
  EXPECT_TRUE(phone.VerifyNormalDownload(*firmware).ok);  // the run itself went through
  EXPECT_EQ(Cell(*window, 1, 0), "Fail");
  EXPECT_EQ(window->Run().SlotReason(0), line);
  EXPECT_EQ(window->Table()->item(1, 0)->toolTip().toStdString(), line);
}

// The ROM copy page's "Multi download mode": each panel writes the two factory files.
TEST_F(MultiPortTest, RomCopyModeWritesTheFactoryFiles) {
  std::filesystem::create_directories(dir / "factory");
  const auto sample = phonesim::builders::FactorySample::Write(dir / "factory");
  RomCopyPage& romCopy = sheet->RomCopy().Page();
  romCopy.ChooseCp(sample.CpPath());
  romCopy.ChooseAp(sample.ApPath());
  phonesim::SimulatedTq4410 phone;
  See(phone.PortNumber());
  auto window = Open(romCopy.Request());
  window->Run().Tick();
  ASSERT_TRUE(Until([&] { return !window->Run().AnyRunning(); }));
  EXPECT_EQ(Cell(*window, 1, 0), "Pass");
  EXPECT_TRUE(phone.VerifyFactoryDownload(sample).ok);
}

void Sentinel() {}

// The plug-in's four-slot table: slot 0 follows the mode (any other mode leaves it), slot 2 names
// the model.
TEST(StatusWindowTable, FillsItsSlotsByModeAndLeavesTheFirstForAnyOtherMode) {
  std::string error;
  const auto plugin =
      platform::SharedLibrary::Load(platform::ExecutableDirectory() + "/model.so", &error);
  ASSERT_TRUE(plugin) << error;
  const auto a111 = plugin->Bind<A111Fn>("_A111");
  ASSERT_NE(a111, nullptr);
  void (*table[kStatusSlots])() = {&Sentinel, nullptr, nullptr, nullptr};
  EXPECT_EQ(a111(table, 3), 1);
  EXPECT_EQ(table[0], &Sentinel);
  EXPECT_STREQ(reinterpret_cast<ModelNameFn>(table[2])(), "TQ4410");
  EXPECT_NE(table[1], nullptr);
  EXPECT_NE(table[3], nullptr);
  a111(table, 1);
  EXPECT_EQ(table[0], plugin->Bind<void (*)()>("DoDLExecuteFunction"));
  a111(table, 2);
  EXPECT_EQ(table[0], plugin->Bind<void (*)()>("ExecuteFunction"));
}

// A port's record names the phone's model and PID as its status window handed them over with
// its outcome (1012), as a single port's record does.
TEST_F(MultiPortTest, APortsRecordCarriesTheModelAndPidItsStatusWindowHandedOver) {
  phonesim::SimulatedTq4410 phone;
  See(phone.PortNumber());
  ReadFiles();
  const std::string file = dir / "records.sqlite";
  auto recorder = std::make_shared<records::Recorder>(
      records::Recorder::Config{file, "", records::kKeepDays}, nullptr);
  RunRequest request = Page().Request();
  AttachRecords(request, recorder, records::Settings{}, ports);
  auto window = Open(request);
  window->Run().Tick();
  ASSERT_TRUE(window->Run().SlotBusy(0));
  // As the window of a sequence that reads the phone's factory data hands it over: the TQ4410's
  // sequences read none, so its window's own outcome at the end carries "" for both.
  notify::RunOutcome outcome;
  outcome.modelName = "TQ4410";
  outcome.pid = "TQ4410SIM00000001";
  platform::SendWindowMessage(&window->Run().Mailbox(), notify::kMsgStatusWindowOutcome,
                              phone.PortNumber(), reinterpret_cast<platform::LPARAM>(&outcome));
  ASSERT_TRUE(Until([&] { return !window->Run().AnyRunning(); }));
  recorder->Flush();

  std::string error;
  auto store = records::LocalStore::OpenToRead(file, error);
  ASSERT_TRUE(store) << error;
  records::Query all;
  all.simulated = true;
  const std::vector<records::Record> found = store->Find(all);
  ASSERT_EQ(found.size(), 1U);
  EXPECT_EQ(found[0].verdict, records::kPass);
  EXPECT_EQ(found[0].phone.modelName, "TQ4410");
  EXPECT_EQ(found[0].phone.pid, "TQ4410SIM00000001");
}

}  // namespace
