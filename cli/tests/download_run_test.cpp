// The single-port download window's logic: the mailbox that carries a worker's messages to the
// GUI thread, runs of the real plug-in into a simulated phone, the run's truthful end, and the
// sleep inhibition a run holds.

#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "cli_fixture.h"
#include "corvane/platform/notify.h"
#include "corvane/platform/run_routing.h"
#include "host/download_run.h"
#include "host/multi_port_run.h"
#include "host/normal_page.h"
#include "host/records/local_store.h"
#include "host/rom_copy_page.h"
#include "host/sleep_inhibition.h"
#include "support/message_boxes.h"
#include "support/no_system_bus.h"
#include "support/time_scale.h"
#include "support/wait.h"

using platform::MailboxTarget;

namespace {

using notify::Tone;

bool MailWaiting(const MailboxTarget& box, int ms) {
  pollfd p[] = {{static_cast<int>(box.WakeHandle()), POLLIN, 0},
                {static_cast<int>(box.PostedWakeHandle()), POLLIN, 0}};
  return ::poll(p, 2, ms) > 0;
}

TEST(Mailbox, AWorkersSendIsHandledOnTheDeliveringThreadAndGetsItsResult) {
  std::thread::id handledOn;
  MailboxTarget box([&](uint32_t, platform::WPARAM w, platform::LPARAM) {
    handledOn = std::this_thread::get_id();
    return static_cast<platform::LRESULT>(w * 2);
  });
  EXPECT_EQ(platform::SendWindowMessage(&box, 1, 4, 0), 8);  // the GUI's own send runs at once
  std::atomic<platform::LRESULT> result{-1};
  std::thread worker([&] { result = platform::SendWindowMessage(&box, 1, 21, 0); });
  ASSERT_TRUE(MailWaiting(box, 10000));
  box.Deliver();
  worker.join();
  EXPECT_EQ(result, 42);
  EXPECT_EQ(handledOn, std::this_thread::get_id());
}

// A run's routing: step notices are counted on the worker; progress codes and copies of status
// lines are posted (the worker goes on at once) and reach the handler in order at the next
// delivery, a position repeated with only step notices between once. A line is in the run's
// record before any delivery, and its copy carries the run's clock when it was sent.
TEST(Mailbox, RunRoutingCountsStepsOnTheWorkerAndPostsCodesAndLinesInOrder) {
  std::vector<std::string> seen;
  MailboxTarget box([&](uint32_t m, platform::WPARAM w, platform::LPARAM l) {
    if (w == notify::kProgress) seen.push_back(std::to_string(l));
    if (m == notify::kMsgLoggedStatusText) {
      seen.push_back(std::to_string(w) + " " + reinterpret_cast<const char*>(l));
    }
    return platform::LRESULT{7};
  });
  notify::RunWatch watch({{"a.img", "b.img"}, true});
  box.SetRouting(notify::RunRouting(
      watch, [] { return uint64_t{42}; }, false));
  notify::StepNotice step;
  step.phase = notify::StepPhase::kEnd;
  step.fileIndex = 0;
  step.succeeded = 1;
  std::thread worker([&] {
    const auto code = [&](platform::LPARAM value) {
      EXPECT_EQ(platform::SendWindowMessage(&box, notify::kMsgNotify, notify::kProgress, value), 1);
    };
    code(10);
    code(20);
    platform::SendWindowMessage(&box, notify::kMsgNotify, notify::kStepNotice,
                                reinterpret_cast<platform::LPARAM>(&step));
    code(20);
    char line[] = "writing start";
    EXPECT_EQ(platform::SendWindowMessage(&box, notify::kMsgNotify, notify::kStatusText,
                                          reinterpret_cast<platform::LPARAM>(line)),
              1);
    line[0] = 'X';  // the sender's buffer is its own again
    code(30);
    // A file line between them (a line may decide which one a failure is told with): both go.
    platform::SendWindowMessage(&box, notify::kMsgNotify, notify::kFileLine, 0);
    code(30);
  });
  worker.join();  // nothing was delivered meanwhile: nothing waited for this thread
  EXPECT_TRUE(seen.empty());
  EXPECT_TRUE(watch.Written().Unwritten({"a.img", "b.img"}) == std::vector<std::string>{"b.img"});
  const notify::StepHistory steps = watch.Steps().Snapshot();  // timed on the run's clock
  ASSERT_EQ(steps.steps.size(), 1u);
  EXPECT_EQ(steps.steps[0].endMs, 42u);
  EXPECT_EQ(steps.lines, std::vector<std::string>{"writing start"});
  box.Deliver();
  EXPECT_EQ(seen, (std::vector<std::string>{"10", "20", "42 writing start", "30", "30"}));
}

TEST(Mailbox, ClosingWakesAWaitingSenderWithZeroAndRunsNothing) {
  int handled = 0;
  MailboxTarget box([&](uint32_t, platform::WPARAM, platform::LPARAM) { return ++handled; });
  std::atomic<platform::LRESULT> result{-1};
  std::thread worker([&] { result = platform::SendWindowMessage(&box, 1, 0, 0); });
  ASSERT_TRUE(MailWaiting(box, 10000));
  box.CloseMailbox();
  worker.join();
  box.Deliver();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(handled, 0);
}

struct RecordingWindow : DownloadWindowView {
  void AppendLog(const std::string& line) override { log.push_back(line); }
  void ClearLog() override { log.clear(); }
  void ShowProgress(int, const std::string& t, Tone k) override {
    text = t;
    tone = k;
  }
  void AddFactoryRow(const view::FactoryRow& row) override { rows.push_back(row.item); }
  void ShowListText(const std::string& t) override { listText = t; }
  void PlaySound(bool success) override { sounds.push_back(success); }
  void SetTickTimer(int periodMs) override { tickMs = periodMs; }

  std::vector<std::string> log, rows;
  std::string text, listText;
  Tone tone = Tone::kNormal;
  std::vector<bool> sounds;
  int tickMs = 0;
};

// The pages' windows play no part in a run: only their values do (the ROM copy page's fields
// hold the paths chosen).
struct SilentPages : NormalPageView, RomCopyPageView {
  void ShowFiles(const std::vector<FileTable::Row>&, const std::string&) override {}
  void ShowHeader(const std::string&) override {}
  void ShowPorts(const PortScan::Result&) override {}
  void EnableStart(bool) override {}
  void ShowLabels(const std::string&, const std::string&, const std::string&) override {}
  void ShowErase(bool, bool, bool) override {}
  void ShowMode(int) override {}
  bool AskYesNo(const std::string&) override { return true; }
  void PlayStartSound() override {}
  void SetScanTimer(bool) override {}
  void RunDownloadWindow(const RunRequest&) override {}
  std::string CpField() const override { return cp; }
  std::string ApField() const override { return ap; }
  void ShowPaths(const std::string& c, const std::string& a) override {
    cp = c;
    ap = a;
  }
  void ShowEraseCp(bool) override {}

  std::string cp, ap;
};

class DownloadRunTest : public cli_testing::CliFixture {
 protected:
  DownloadRunTest() {
    g_nCurPage = 1;
    normal.PageStart();
    normal.AddFiles(firmware.Files());
    for (int i = 0; i < 5; ++i) normal.ScanTimer();
  }
  void ReadImages() {
    normal.Store().ReadImages(normal.Files().CheckedPaths(), normal.Files().CheckedLoads());
  }
  // The window a page's Start opens, handed the page's request as it stands.
  DownloadRun& Open(const RunRequest& request) {
    run = std::make_unique<DownloadRun>(window, request);
    run->Start();
    return *run;
  }
  DownloadRun& OpenNormal() { return Open(normal.Request()); }
  // The GUI thread's loop: mail as it arrives, until `done` or a minute passes.
  template <typename Fn>
  bool Pump(Fn done) {
    return testing_support::WaitUntil(
        [&] {
          if (MailWaiting(run->Mailbox(), 5)) run->Mailbox().Deliver();
          return done();
        },
        std::chrono::seconds(60));
  }

  // The end of every run: its end message handled.
  bool PumpToEnd() {
    return Pump([&] { return !run->Running(); });
  }
  bool LogHas(const std::string& text) const {
    return std::any_of(window.log.begin(), window.log.end(), [&](const std::string& line) {
      return cli_testing::Shaped(line.substr(0, 14), "99:99.9 Sec  :") && line.substr(14) == text;
    });
  }
  void UsePlugin(const std::string& name) {
    normal.ChoosePlugin(cli_testing::ProgramDirectory() + "/" + name);
  }

  phonesim::SimulatedTq4410 phone;
  testing_support::MessageBoxes boxes;
  SilentPages pages;
  PortScan::Discover discover = [this] {
    SerialPortEntry e;
    e.portName = "pts";
    e.portNumber = phone.PortNumber();
    e.description = "Zelco Mobile USB Modem";
    return std::vector{e};
  };
  NormalPage normal{pages, {cli_testing::ProgramDirectory(), dir.Path().string()}, discover};
  RomCopyPage romCopy{pages, discover, [this] { return normal.Plugin(); }};
  RecordingWindow window;
  std::unique_ptr<DownloadRun> run;
};

TEST_F(DownloadRunTest, ANormalDownloadIntoAPhoneEndsCompleteWithStampedLines) {
  ReadImages();
  OpenNormal();
  EXPECT_EQ(window.listText.rfind("==  download lists  ==\n1. ", 0), 0u);
  EXPECT_TRUE(run->Running());
  EXPECT_EQ(sleep_inhibition::Holds(), 1);
  ASSERT_TRUE(PumpToEnd());
  EXPECT_EQ(sleep_inhibition::Holds(), 0);
  EXPECT_EQ(window.text, "Download complete!");
  EXPECT_EQ(window.sounds, std::vector<bool>{true});
  EXPECT_EQ(run->Verdict().verdict, notify::Verdict::kSucceeded);
  ASSERT_FALSE(window.log.empty());
  for (const std::string& line : window.log) {
    EXPECT_TRUE(cli_testing::Shaped(line.substr(0, 14), "99:99.9 Sec  :")) << line;
  }
  EXPECT_TRUE(phone.VerifyNormalDownload(firmware).ok);
}

// The window's runs leave their records as tarvex-cli's do: a pass with every file's digest, and
// a run closed before its end as cancelled.
TEST_F(DownloadRunTest, EveryRunOfTheWindowLeavesItsRecordAsItEnded) {
  const std::string file = dir / "records.sqlite";
  auto recorder = std::make_shared<records::Recorder>(
      records::Recorder::Config{file, "", records::kKeepDays}, nullptr);
  records::Settings settings;
  settings.station = "window-test";
  const auto recorded = [&] {
    RunRequest request = normal.Request();
    AttachRecords(request, recorder, settings, discover());
    return request;
  };
  ReadImages();
  Open(recorded());
  ASSERT_TRUE(PumpToEnd());
  phonesim::Fault silent;
  silent.times = 1000000;
  phone.Device().InjectFault(silent);
  Open(recorded());
  // Its first line waits in the mailbox; nothing is delivered, so its end cannot be heard first.
  ASSERT_TRUE(MailWaiting(run->Mailbox(), 10000));
  run->Close();
  recorder->Flush();

  std::string error;
  auto store = records::LocalStore::OpenToRead(file, error);
  ASSERT_TRUE(store) << error;
  records::Query all;
  all.simulated = true;
  const auto found = store->Find(all);
  ASSERT_EQ(found.size(), 2U);
  EXPECT_EQ(found[0].verdict, records::kCancelled);
  const records::Record passed = *store->Get(found[1].id);
  EXPECT_EQ(passed.verdict, records::kPass);
  EXPECT_EQ(passed.station, "window-test");
  EXPECT_EQ(passed.tool, "tarvex");
  EXPECT_EQ(passed.files.size(), firmware.Files().size());
  for (const records::FileRun& f : passed.files) EXPECT_EQ(f.sha256.size(), 64U) << f.path;
}

TEST_F(DownloadRunTest, AReadStoppedShortEndsInErrorWithItsReasonAndNoRun) {
  const std::string shortFile = "/sys/devices/system/cpu/online";  // claims a page, holds less
  std::error_code ec;
  if (std::filesystem::file_size(shortFile, ec) < 64 || ec) GTEST_SKIP() << "no such file here";
  normal.Store().ClearReadingComplete();
  OpenNormal();
  EXPECT_EQ(window.text, "Wait for reading files");
  EXPECT_EQ(window.tickMs, DownloadRun::kWaitTickMs);
  run->Tick();
  EXPECT_EQ(window.text, "   ");
  normal.Store().ReadImages({shortFile});
  run->Tick();
  EXPECT_EQ(window.text, "Error");
  EXPECT_EQ(window.tone, Tone::kError);
  EXPECT_EQ(window.tickMs, 0);
  EXPECT_EQ(window.log, std::vector<std::string>{shortFile + " could not be read to its end"});
  EXPECT_FALSE(run->Launched());
}

TEST_F(DownloadRunTest, ClosingARunThatWaitsForASilentPhoneEndsItsWorker) {
  phonesim::Fault silent;
  silent.times = 1000000;
  phone.Device().InjectFault(silent);
  ReadImages();
  OpenNormal();
  ASSERT_TRUE(Pump([&] { return !window.log.empty(); }));  // the run talks to the phone
  EXPECT_TRUE(run->Launched());
  run->Close();  // returns once the worker has ended
  EXPECT_FALSE(run->Running());
  EXPECT_EQ(sleep_inhibition::Holds(), 0);
  EXPECT_EQ(
      platform::SendWindowMessage(&run->Mailbox(), notify::kMsgNotify, notify::kProgress, 400), 0);
  EXPECT_NE(window.text, "Download complete!");
}

TEST_F(DownloadRunTest, ARomCopyDownloadIntoAPhoneEndsComplete) {
  testing_support::ScopedTimeScale fast{0.1};  // the sequence's fixed pauses: 2 s and 5 s
  const auto set = phonesim::builders::FactorySample::Write(dir.Path().string());
  romCopy.PageStart();
  romCopy.ChooseCp(set.CpPath());
  romCopy.ChooseAp(set.ApPath());
  for (int i = 0; i < 5; ++i) romCopy.ScanTimer();
  Open(romCopy.Request());
  EXPECT_EQ(window.listText, "1. " + set.CpPath() + "\n2. " + set.ApPath());
  ASSERT_TRUE(PumpToEnd());
  EXPECT_EQ(window.text, "Download complete!") << testing::PrintToString(window.log);
  EXPECT_EQ(window.sounds, std::vector<bool>{true});
  EXPECT_TRUE(phone.VerifyFactoryDownload(set).ok);
}

// Neither ROM image chosen: nothing would be written but the phone reset, reported as complete.
TEST_F(DownloadRunTest, ARomCopyWithoutImagesIsRefusedBeforeThePhone) {
  Open(romCopy.Request());
  EXPECT_FALSE(run->Launched());
  EXPECT_EQ(window.text, "Error");
  EXPECT_EQ(window.log,
            std::vector<std::string>{
                "There is no ROM image to download: choose the CP bin or the AP bin file"});
  EXPECT_TRUE(phone.Device().Requests().empty());
}

// A line that must never ship an unrecorded phone: the window refuses, as tarvex-cli does.
TEST_F(DownloadRunTest, RequiredRecordsThatCannotBeWrittenRefuseTheRunBeforeThePhone) {
  records::Settings settings;
  settings.required = true;
  auto recorder = std::make_shared<records::Recorder>(
      records::Recorder::Config{dir / "missing/dir/records.sqlite", "", records::kKeepDays},
      nullptr);
  RunRequest request = normal.Request();
  AttachRecords(request, recorder, settings, discover());
  ReadImages();
  Open(request);
  EXPECT_FALSE(run->Launched());
  EXPECT_EQ(window.text, "Error");
  ASSERT_EQ(window.log.size(), 1U);
  EXPECT_EQ(window.log[0].rfind("Records are required: ", 0), 0U) << window.log[0];
  EXPECT_TRUE(phone.Device().Requests().empty());
}

// The plug-in's pre-flight runs on the worker before its entry point: a ticked partition image
// that no partition names would go unwritten, so the run is refused with the phone untouched.
TEST_F(DownloadRunTest, AFileNoStepWouldWriteIsRefusedBeforeThePhone) {
  const std::string extra = dir / "Boot.img";  // the table names boot.img, case for case
  std::ofstream(extra) << "not in the partition table";
  normal.AddFiles({extra});
  ReadImages();
  OpenNormal();
  ASSERT_TRUE(PumpToEnd());
  EXPECT_EQ(window.log, std::vector<std::string>{extra + ": no step of this download would write "
                                                         "it (no partition of the configuration "
                                                         "names it)"});
  EXPECT_EQ(window.text, "Error");
  EXPECT_EQ(window.sounds, std::vector<bool>{false});
  EXPECT_EQ(run->Verdict().verdict, notify::Verdict::kRefused);
  EXPECT_TRUE(phone.Device().Requests().empty());
}

TEST_F(DownloadRunTest, AnEntryPointThatReturnsZeroUnreportedEndsInError) {
  UsePlugin("failing_model.so");
  romCopy.ChooseCp("/firmware/cp.fls");
  Open(romCopy.Request());
  ASSERT_TRUE(PumpToEnd());
  EXPECT_TRUE(LogHas("The plug-in reported failure")) << testing::PrintToString(window.log);
  EXPECT_EQ(window.text, "Error");
  EXPECT_EQ(window.sounds, std::vector<bool>{false});
}

// A plug-in that ignores its cancellation, as a careless third-party one may: closing waits 2 s,
// then abandons the run, names the port it keeps busy, and the worker ends on its own later with
// what it shares (its request and the image buffers outlive the window).
TEST_F(DownloadRunTest, APluginThatIgnoresItsCancellationIsAbandonedAfterTwoSeconds) {
  const std::string release = dir / "release";
  ::setenv("STUCK_MODEL_RELEASE", release.c_str(), 1);
  UsePlugin("stuck_model.so");
  ReadImages();
  OpenNormal();
  ASSERT_TRUE(run->Launched());
  run->Close();
  EXPECT_EQ(WorkerEnd::Abandoned(), 1);
  ASSERT_FALSE(boxes.Texts().empty());
  EXPECT_EQ(boxes.Texts().back(), "The plug-in did not stop within 2 s; COM" +
                                      std::to_string(phone.PortNumber()) +
                                      " stays busy until it ends");
  run.reset();
  normal.RemoveAll();
  std::ofstream(release) << "go";
  EXPECT_TRUE(testing_support::WaitUntil([] { return WorkerEnd::Abandoned() == 0; }));
  ::unsetenv("STUCK_MODEL_RELEASE");
}

// A plug-in that reports a failure, then claims completion and success: the failure stands.
TEST_F(DownloadRunTest, AFailureThenACompletionEndsInErrorWithTheFailuresLine) {
  UsePlugin("failing_model.so");
  ReadImages();
  OpenNormal();
  ASSERT_TRUE(PumpToEnd());
  EXPECT_EQ(window.text, "Error");
  EXPECT_EQ(window.tone, Tone::kError);
  EXPECT_EQ(window.sounds, std::vector<bool>{false});
  EXPECT_EQ(run->Verdict().reason, "The phone refused the block");
}

// A plug-in without the status-window exports: the multi-port window says which and starts no
// port, however many phones are present.
TEST_F(DownloadRunTest, AMultiPortWindowWithoutThePluginsWindowExportsStartsNothing) {
  struct NoPanels : MultiPortView {
    void ShowColumn(int, const std::string&, const std::string&) override {}
    void ShowReason(int, const std::string&) override {}
    void PlaySound(bool) override {}
    void ShowNote(const std::string&) override {}
    void* PanelParent() override { return nullptr; }
  } panels;
  UsePlugin("failing_model.so");
  MultiPortRun multi(panels, normal.Request(), discover);
  EXPECT_FALSE(multi.Start());
  multi.Tick();
  EXPECT_FALSE(multi.SlotBusy(0));
  EXPECT_EQ(boxes.Texts(),
            std::vector<std::string>{"The plug-in " + cli_testing::ProgramDirectory() +
                                     "/failing_model.so lacks _A111, DoDLExecuteFunction"});
}

// A failure the plug-in reported itself is shown once: no second sound, no line of the host's.
TEST_F(DownloadRunTest, AReportedFailureIsNotReportedAgainAtTheEnd) {
  phone.Device().InjectFault({.kind = phonesim::FaultKind::kRefuse, .command = 0x02, .skip = 1});
  ReadImages();
  OpenNormal();
  ASSERT_TRUE(PumpToEnd());
  EXPECT_EQ(window.text, "Error");
  EXPECT_EQ(window.tone, Tone::kError);      // on red
  EXPECT_TRUE(LogHas("Download Start..."));  // the plug-in's own lines stay in the log
  EXPECT_GT(window.log.size(), 2u);
  EXPECT_EQ(window.sounds, std::vector<bool>{false});
  EXPECT_FALSE(LogHas("The plug-in reported failure"));
}

// What the handler makes of the plug-in's messages, sent on the window's own thread.
TEST_F(DownloadRunTest, TheTickerTimerFollowsFiveHundredAndSixHundredAndEveryFactoryRowAdds) {
  normal.Store().ClearReadingComplete();  // the window waits: no run of its own
  OpenNormal();
  const auto send = [&](uint32_t message, platform::WPARAM w, platform::LPARAM l) {
    platform::SendWindowMessage(&run->Mailbox(), message, w, l);
  };
  send(notify::kMsgNotify, notify::kProgress, 20);
  send(notify::kMsgNotify, notify::kProgress, notify::kProgressTickerStart);
  send(notify::kMsgNotify, notify::kProgress, notify::kProgressTickerStart);
  EXPECT_EQ(window.text, "Processing completed 30%");
  EXPECT_EQ(window.tickMs, 2000);
  send(notify::kMsgNotify, notify::kProgress, notify::kProgressTickerStop);
  EXPECT_EQ(window.tickMs, 0);
  const char* name = "TQ4410";
  for (int i = 0; i < 2; ++i) {
    send(notify::kMsgFactory, notify::kFactoryModelName, reinterpret_cast<platform::LPARAM>(name));
  }
  EXPECT_EQ(window.rows, (std::vector<std::string>{"MODEL NAME", "MODEL NAME"}));
}

TEST(SleepInhibition, TheFirstHoldInhibitsAndTheLastReleases) {
  std::vector<bool> calls;
  sleep_inhibition::SetBackend([&](bool inhibit) { calls.push_back(inhibit); });
  {
    sleep_inhibition::Hold first;
    {
      sleep_inhibition::Hold second;
      EXPECT_EQ(sleep_inhibition::Holds(), 2);
    }
    EXPECT_EQ(calls, std::vector<bool>{true});
  }
  EXPECT_EQ(calls, (std::vector<bool>{true, false}));
  EXPECT_EQ(sleep_inhibition::Holds(), 0);
  sleep_inhibition::SetBackend(nullptr);
}

// A program without a system bus says once that the system may sleep; its runs go on.
TEST(SleepInhibition, TheSystemBackendWithoutABusWarnsOnceForAllRuns) {
  const testing_support::NoSystemBus noBus;
  std::vector<std::string> warnings;
  sleep_inhibition::SetBackend(
      sleep_inhibition::SystemBackend([&](const std::string& line) { warnings.push_back(line); }));
  for (int run = 0; run < 2; ++run) sleep_inhibition::Hold hold;
  sleep_inhibition::SetBackend(nullptr);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].rfind("the system may sleep while phones are written (", 0), 0u)
      << warnings[0];
}

TEST_F(DownloadRunTest, AMessageBoxFromAnotherThreadIsShownOnTheWindowsThreadUntilItCloses) {
  std::atomic<std::thread::id> shownOn;
  const platform::MessageBoxHook previous = platform::SetMessageBoxHook(
      [&](const std::string&, const std::string&) { shownOn = std::this_thread::get_id(); });
  normal.Store().ClearReadingComplete();  // the window waits: no run of its own
  OpenNormal();
  std::thread box([] { platform::ShowMessageBox("from a worker"); });
  ASSERT_TRUE(Pump([&] { return shownOn.load() != std::thread::id(); }));
  box.join();
  EXPECT_EQ(shownOn.load(), std::this_thread::get_id());
  run->Close();  // boxes go their usual way again
  std::thread after([] { platform::ShowMessageBox("after"); });
  const std::thread::id afterId = after.get_id();
  after.join();
  EXPECT_EQ(shownOn.load(), afterId);
  platform::SetMessageBoxHook(previous);
}

}  // namespace
