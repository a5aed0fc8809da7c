// One phone's window and the console: every message of the plug-in becomes a line (text or
// JSON), texts are copied while handled, and bars are drawn only on a terminal.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/console.h"
#include "cli/phone_window.h"
#include "cli/printable.h"
#include "cli_harness.h"
#include "corvane/platform/message_box.h"
#include "corvane/platform/notify.h"

namespace {

using cli::Console;
using cli::PhoneWindow;

cli::PhoneLabel Label() {
  return {7, "ttyACM0", "/dev/ttyACM0", "Zelco Mobile USB Modem", "", "", ""};
}

// The run's files and whether the plug-in promised step notices.
notify::RunWatch::Setup Given(std::vector<std::string> files = {}, bool reportsSteps = false) {
  return {std::move(files), reportsSteps, false};
}

struct Screen {
  explicit Screen(Console::Mode mode) : console(out, err, mode) {}
  std::ostringstream out;
  std::ostringstream err;
  Console console;
};

void SendText(PhoneWindow& w, uintptr_t kind, const std::string& text) {
  // The sender reuses its buffer: it is overwritten right after the call.
  std::array<char, 128> buffer{};
  std::strncpy(buffer.data(), text.c_str(), buffer.size() - 1);
  w.HandleMessage(notify::kMsgNotify, kind, reinterpret_cast<platform::LPARAM>(buffer.data()));
  buffer.fill('#');
}

void SendFactory(PhoneWindow& w) {
  std::array<char, 64> name{};
  std::strcpy(name.data(), "TQ4410-LONG-MODEL-NAME");
  w.HandleMessage(notify::kMsgFactory, notify::kFactoryModelName,
                  reinterpret_cast<platform::LPARAM>(name.data()));
  std::array<uint8_t, 64> pid{};
  std::memcpy(pid.data(), "R58M12345678901234567890", 24);
  w.HandleMessage(notify::kMsgFactory, notify::kFactoryPid,
                  reinterpret_cast<platform::LPARAM>(pid.data()));
}

TEST(PhoneWindow, JsonCarriesEveryMessageOfThePlugin) {
  Screen s({.json = true});
  PhoneWindow w(Label(), s.console, cli::Throughput(0), Given());
  w.Begin();
  SendText(w, notify::kStatusText, "Download Start...");
  w.HandleMessage(notify::kMsgNotify, notify::kProgress, 0);
  w.HandleMessage(notify::kMsgNotify, notify::kProgress, 500);
  SendText(w, notify::kFileLine, "TQ4410_emmc.bin");
  notify::StepNotice step;
  step.kind = notify::StepKind::kFactoryImage;
  step.fileIndex = 1;
  step.name = "TQ4410_emmc.bin";
  for (auto phase :
       {notify::StepPhase::kBegin, notify::StepPhase::kAdvance, notify::StepPhase::kEnd}) {
    step.phase = phase;
    step.bytesDone += 512;
    step.succeeded = phase == notify::StepPhase::kEnd;
    w.HandleMessage(notify::kMsgNotify, notify::kStepNotice,
                    reinterpret_cast<platform::LPARAM>(&step));
  }
  SendFactory(w);
  w.HandleMessage(notify::kMsgNotify, notify::kProgress, 400);
  w.HandleMessage(0x9999, 1, 2);  // not the plug-in's: ignored
  const cli::PhoneResult r = w.End(1);

  const auto events = cli_testing::CliRun{0, s.out.str(), ""}.Json();
  ASSERT_EQ(events.size(), 9u) << s.out.str();
  EXPECT_EQ(events[0].at("event"), "status");
  EXPECT_EQ(events[0].at("text"), "Download Start...");
  EXPECT_EQ(events[0].at("port"), 7);
  EXPECT_EQ(events[0].at("name"), "ttyACM0");
  EXPECT_EQ(events[0].at("time").get<std::string>().substr(0, 8), "00:00.0 ");
  EXPECT_EQ(events[2].at("code"), 500);
  EXPECT_EQ(events[2].at("position"), 5);
  EXPECT_EQ(events[2].at("text"), "Processing completed 5%");
  EXPECT_EQ(events[3].at("event"), "file");
  EXPECT_EQ(events[3].at("text"), "TQ4410_emmc.bin");
  // A step's begin and end, not its advances (the progress lines carry those).
  EXPECT_EQ(events[4].at("event"), "step");
  EXPECT_EQ(events[4].at("phase"), "begin");
  EXPECT_EQ(events[4].at("kind"), "factory_image");
  EXPECT_EQ(events[4].at("file_index"), 1);
  EXPECT_EQ(events[5].at("phase"), "end");
  EXPECT_EQ(events[5].at("bytes_done"), 1536);
  EXPECT_EQ(events[5].at("succeeded"), true);
  EXPECT_EQ(events[6].at("item"), "MODEL NAME");
  EXPECT_EQ(events[6].at("value"), "TQ4410-LONG-MOD");
  EXPECT_EQ(events[7].at("item"), "PID");
  EXPECT_EQ(events[7].at("value"), "R58M1234567890123");
  EXPECT_EQ(events[8].at("text"), "Download complete!");
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.lastLine, "Download Start...");
  EXPECT_EQ(r.bytes, 1536u);  // what the steps acknowledged, not the files' 1234 bytes
}

TEST(PhoneWindow, SuccessNeedsTheEntryPointsResultAndNoFailureCode) {
  Screen s({});
  PhoneWindow failedCode(Label(), s.console, cli::Throughput(0), Given());
  SendText(failedCode, notify::kStatusText, "error!");
  failedCode.HandleMessage(notify::kMsgNotify, notify::kProgress, 200);
  failedCode.HandleMessage(notify::kMsgNotify, notify::kProgress, 400);
  EXPECT_EQ(failedCode.Bar().text, "Error");        // the claim of completion does not undo it
  const cli::PhoneResult code = failedCode.End(1);  // whatever it returned
  EXPECT_FALSE(code.ok);
  EXPECT_EQ(code.reason, "error!");
  PhoneWindow failedCall(Label(), s.console, cli::Throughput(0), Given());
  EXPECT_EQ(failedCall.End(0).reason, "The plug-in reported failure");
  // A plug-in that reports no steps cannot be held to its files: the run stands on its result,
  // and no byte count is claimed for it.
  PhoneWindow older(Label(), s.console, cli::Throughput(0), Given({"a.img"}));
  const cli::PhoneResult r = older.End(1);
  EXPECT_TRUE(r.ok);
  EXPECT_FALSE(r.bytesKnown);
  EXPECT_TRUE(r.unwrittenFiles.empty());
  // One that promised steps and sent none wrote nothing.
  PhoneWindow silent(Label(), s.console, cli::Throughput(0), Given({"a.img"}, true));
  EXPECT_EQ(silent.End(1).reason, "Not written: a.img");
}

TEST(PhoneWindow, PlainLinesCarryTheLogPrefixAndInMultiThePortName) {
  Screen single({});
  PhoneWindow w(Label(), single.console, cli::Throughput(0), Given());
  SendText(w, notify::kStatusText, "EMMC download start");
  w.HandleMessage(notify::kMsgNotify, notify::kProgress, 50);  // no line: bars only
  SendFactory(w);
  EXPECT_EQ(single.out.str(),
            "00:00.0 Sec  :EMMC download start\n"
            "MODEL NAME : TQ4410-LONG-MOD\n"
            "PID : R58M1234567890123\n");

  Screen multi({.multi = true});
  PhoneWindow m(Label(), multi.console, cli::Throughput(0), Given());
  SendText(m, notify::kStatusText, "Target is resetting");
  EXPECT_EQ(multi.out.str(), "[ttyACM0] 00:00.0 Sec  :Target is resetting\n");
}

TEST(PhoneWindow, MessageBoxesAreLinesOfThePhoneWhoseRunRaisedThem) {
  Screen s({.json = true, .multi = true});
  const auto previous =
      platform::SetMessageBoxHook([&](const std::string& text, const std::string& caption) {
        s.console.MessageBox(cli::CurrentPhone::Get(), text, caption);
      });
  const cli::PhoneLabel phone = Label();
  std::thread run([&] {
    const cli::CurrentPhone current(phone);
    platform::ShowMessageBox("Done!");
  });
  run.join();
  platform::ShowMessageBox("No phone here");
  platform::SetMessageBoxHook(previous);
  const auto events = cli_testing::CliRun{0, s.out.str(), ""}.Json();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].at("text"), "Done!");
  EXPECT_EQ(events[0].at("name"), "ttyACM0");
  EXPECT_FALSE(events[1].contains("name"));
}

TEST(Console, BarsAreRedrawnOnATerminalOnly) {
  const cli::PhoneLabel phone = Label();
  Screen plain({});
  PhoneWindow p(phone, plain.console, cli::Throughput(0), Given());
  plain.console.AttachBar(&p);
  plain.console.Refresh();
  SendText(p, notify::kStatusText, "line");
  plain.console.DetachBar(&p);
  EXPECT_EQ(plain.out.str().find('\x1b'), std::string::npos);

  Screen tty({.terminal = true});
  PhoneWindow t(phone, tty.console, cli::Throughput(1000), Given());
  tty.console.AttachBar(&t);
  SendText(t, notify::kStatusText, "boot.img  writing start");
  t.HandleMessage(notify::kMsgNotify, notify::kProgress, 50);
  tty.console.Refresh();
  tty.console.DetachBar(&t);
  const std::string out = tty.out.str();
  EXPECT_NE(out.find("\x1b[1F\x1b[J"), std::string::npos);  // back over the bar, cleared
  EXPECT_NE(out.find("[############------------]  50%"), std::string::npos) << out;
  EXPECT_NE(out.find("Processing completed 50%"), std::string::npos);
}

TEST(Console, RenderBarShowsRateAndTimeLeftWhenKnown) {
  cli::BarView bar;
  bar.label = Label();
  bar.position = 150;  // the ticker has no upper bound; the bar stops at full
  bar.text = "Error";
  bar.tone = notify::Tone::kError;
  bar.estimate.bytesPerSecond = 12.34e6;
  bar.estimate.secondsLeft = 75;
  const std::string line = cli::RenderBar(bar, false);
  EXPECT_EQ(line, "ttyACM0  [########################] 150%   12.3 MB/s  1:15 left  Error");
  EXPECT_EQ(cli::RenderBar(bar, true).substr(line.size() - 5), "\x1b[31mError\x1b[0m");
}

TEST(Console, SummaryNamesTheFailedPhonesAndClaimsNoBytesNobodyCounted) {
  Screen s({});
  cli::PhoneResult good;
  good.label = Label();
  good.ok = true;
  good.bytes = 2000000;
  good.bytesKnown = true;
  good.seconds = 2.0;
  cli::PhoneResult bad = good;
  bad.label = {8, "ttyACM1", "/dev/ttyACM1", "", "", "", ""};
  bad.ok = false;
  cli::PhoneResult unreported = good;
  unreported.label.number = 9;
  unreported.bytesKnown = false;
  s.console.Summary({good, bad, unreported}, 0.5);
  const std::string out = s.out.str();
  EXPECT_NE(out.find("     7  ttyACM0     OK             2000000     2.0 s     1.0"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("     9  ttyACM0     OK                   —     2.0 s       —"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("1 of 3 phones failed: ttyACM1 (port 8)"), std::string::npos) << out;
}

TEST(Printable, ControlCharactersBecomeEscapesAndTheRestStays) {
  EXPECT_EQ(cli::Printable("Zelco\x1b]0;x\x07 \t\x7f\x1f end"),
            "Zelco\\x1b]0;x\\x07 \\x09\\x7f\\x1f end");
  // C1 controls as UTF-8 (U+009B is a one-character escape sequence); other characters stay,
  // and so does a lead byte that ends the text.
  EXPECT_EQ(cli::Printable("a\xc2\x9b"
                           "1m \xc2\xa0 \xc3\xa9 \xe2\x82\xac \\ \xc2"),
            "a\\u009b"
            "1m \xc2\xa0 \xc3\xa9 \xe2\x82\xac \\ \xc2");
}

}  // namespace
