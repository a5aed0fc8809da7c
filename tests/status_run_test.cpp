// A status window's logic without a window: its fields, its bar as the codes drive it, its
// timers, and a run that cannot start.

#include "plugin/status_run.h"

#include <gtest/gtest.h>

#include <map>

#include "corvane/platform/notify.h"
#include "corvane/plugin/exports.h"
#include "support/message_boxes.h"
#include "support/recording_window.h"

namespace {

class RecordingStatusView : public StatusView {
 public:
  void ShowFields(const std::string&, const std::string& f, const std::string& s) override {
    file = f;
    status = s;
  }
  void ShowBar(int p, const std::string& t, notify::Tone c) override {
    position = p;
    text = t;
    tone = c;
  }
  void ShowElapsed(const std::string& t) override { elapsed = t; }
  void EnableClose(bool e) override { closeEnabled = e; }
  void SetTimer(int id, int periodMs) override {
    timers[id] = periodMs;
    ++timerCalls[id];
  }

  std::string file, status, text, elapsed;
  int position = -1;
  notify::Tone tone = notify::Tone::kNormal;
  bool closeEnabled = true;
  std::map<int, int> timers, timerCalls;
};

void Code(StatusRun& run, intptr_t code) {
  platform::SendWindowMessage(&run.Mailbox(), notify::kMsgNotify, notify::kProgress, code);
}

TEST(StatusRun, TheBarFollowsTheCodesAndItsTickerRunsFrom500To600) {
  testing_support::MessageBoxes boxes;
  RecordingStatusView view;
  StatusInputs in;
  in.factory = true;
  in.first = "/a/cp.fls";
  in.second = "/a/ap.fls";
  StatusRun run(view, in);
  run.Start(false);  // no parent window: nothing runs
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"We can't find program!"});
  EXPECT_EQ(view.file, "/a/ap.fls");  // both end in "fls": the second wins
  EXPECT_EQ(view.elapsed, "00:00.0 Sec");
  EXPECT_FALSE(view.closeEnabled);

  Code(run, 500);
  Code(run, 500);
  EXPECT_EQ(view.text, "10%");
  EXPECT_EQ(view.timers[StatusRun::kTickerTimer], StatusRun::kTickerPeriodMs);
  run.OnTimer(StatusRun::kTickerTimer);
  EXPECT_EQ(view.text, "Processing completed 15%");
  Code(run, 600);
  EXPECT_EQ(view.timers[StatusRun::kTickerTimer], 0);
  run.OnTimer(StatusRun::kTickerTimer);  // a tick already queued when it stopped
  EXPECT_EQ(view.position, 15);
  Code(run, 57);
  EXPECT_EQ(view.text, "57%");
  Code(run, 300);
  EXPECT_EQ(view.position, 100);
  EXPECT_EQ(view.text, "Tarvex is disconnecting to target");
  Code(run, 200);
  EXPECT_EQ(view.text, "Error");
  EXPECT_EQ(view.tone, notify::Tone::kError);
  EXPECT_EQ(view.position, 0);
}

// More images than a window holds: nothing runs (a file left out would go unwritten), the window
// says why, the host hears of a failure and the panel can be closed.
TEST(StatusRun, MoreImagesThanAWindowHoldsAreRefused) {
  testing_support::RecordingWindow host;
  RecordingStatusView view;
  StatusInputs in;
  in.host = &host;
  in.port = 7;
  in.images.assign(kMaxStatusImages + 1, nullptr);
  in.paths.assign(kMaxStatusImages + 1, "/f/boot.img");
  StatusRun run(view, in);
  run.Start(true);
  EXPECT_EQ(view.status, "Too many files: 21 (at most 20)");
  EXPECT_EQ(view.text, "Error");
  EXPECT_TRUE(view.closeEnabled);
  ASSERT_EQ(host.Messages().size(), 2u);  // the outcome, then the result
  EXPECT_EQ(host.Messages()[0].message, notify::kMsgStatusWindowOutcome);
  EXPECT_EQ(host.Messages()[1].message, notify::kMsgStatusWindowResult);
  EXPECT_EQ(host.Messages()[1].wParam, 0u);
  EXPECT_EQ(host.Messages()[1].value, 7);
}

// The phone's factory data the window was sent goes to the host with the outcome, for the port's
// record.
TEST(StatusRun, TheFactoryDataItWasSentGoesToTheHostWithTheOutcome) {
  struct FactoryHost : platform::MessageTarget {
    platform::LRESULT HandleMessage(uint32_t message, platform::WPARAM,
                                    platform::LPARAM l) override {
      const notify::RunOutcome* o =
          message == notify::kMsgStatusWindowOutcome ? notify::RunOutcomeOf(l) : nullptr;
      if (o != nullptr && notify::HasFactory(*o))
        factory = std::string(o->modelName) + "/" + o->pid;
      return 0;
    }
    std::string factory;
  } host;
  RecordingStatusView view;
  StatusInputs in;
  in.host = &host;
  in.images.assign(kMaxStatusImages + 1, nullptr);  // refused at once: the host hears at Start
  in.paths.assign(kMaxStatusImages + 1, "/f/boot.img");
  StatusRun run(view, in);
  const uint8_t pid[64] = {'T', 'Q', '1', '7'};
  platform::SendWindowMessage(&run.Mailbox(), notify::kMsgFactory, notify::kFactoryModelName,
                              reinterpret_cast<platform::LPARAM>("TQ4410"));
  platform::SendWindowMessage(&run.Mailbox(), notify::kMsgFactory, notify::kFactoryPid,
                              reinterpret_cast<platform::LPARAM>(pid));
  run.Start(true);
  EXPECT_EQ(host.factory, "TQ4410/TQ17");
}

// A port that cannot be opened: the sequence's failure reaches the window's own thread and the
// host, and "Window Close" is enabled once the worker has ended, though the run failed.
TEST(StatusRun, AFailedRunEnablesWindowCloseWhenItsWorkerHasEnded) {
  testing_support::RecordingWindow host;
  RecordingStatusView view;
  uint8_t image[8] = {};
  StatusInputs in;
  in.host = &host;
  in.port = 250;  // no such port
  in.images = {image};
  in.paths = {"/f/boot.img"};
  StatusRun run(view, in);
  run.Start(true);
  for (int i = 0; i < 2000 && !run.Ended(); ++i) {
    run.Mailbox().Deliver();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(run.Ended());
  EXPECT_TRUE(view.closeEnabled);
  EXPECT_EQ(view.text, "Error");
  EXPECT_EQ(view.status, "We can't communicate with specific port");
  EXPECT_EQ(view.timers[StatusRun::kElapsedTimer], StatusRun::kElapsedPeriodMs);  // keeps counting
  ASSERT_EQ(host.Messages().size(), 2u);
  EXPECT_EQ(host.Messages()[1].wParam, 0u);
}

}  // namespace
