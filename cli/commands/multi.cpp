// multi: the same job on every phone port found, up to 16 at once (the scheduler is cli/multi).

#include "cli/multi.h"
#include "cli/commands/commands.h"
#include "corvane/platform/sleep_inhibit.h"

namespace cli {

int RunEveryPhone(const PhoneRun& run, std::vector<PhoneResult>& results) {
  const Options& o = run.options;
  MultiSettings settings;
  // With --simulate N and no --count, the run ends after those N phones.
  settings.count = o.count > 0 ? o.count : o.simulate;
  settings.atOnce = o.maxAtOnce > 0 ? o.maxAtOnce : kMaxAtOnce;
  settings.idleMs = WaitMs(o);
  settings.pollMs = kPollMs;
  settings.interrupt = run.interrupt;
  // The station stays awake for the whole session, the waits for the next phone included: one
  // that slept in between would leave a phone plugged in unwritten and the line stopped.
  const platform::SleepInhibit awake("Writing firmware into phones");
  if (!awake.Held()) run.console.Warning(awake.Warning());
  run.console.Note(
      "Running on every phone port found, up to " + std::to_string(settings.atOnce) + " at once" +
      (settings.count > 0 ? ", until " + std::to_string(settings.count) + " phones have run"
                          : std::string()));
  PortWatcher watcher(run.discover);
  MultiOutcome outcome = RunMulti(run.exports, run.job, run.console, watcher, settings);
  results = std::move(outcome.results);
  if (results.empty() && !(run.interrupt != nullptr && run.interrupt->IsCancelled())) {
    run.console.Error("no phone port appeared" + WaitText(o));
    return kExitNoPhone;
  }
  return kExitOk;
}

}  // namespace cli
