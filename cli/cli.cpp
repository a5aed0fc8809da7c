#include "cli/cli.h"

#include <algorithm>

#include "cli/commands/commands.h"
#include "cli/console.h"
#include "cli/options.h"
#include "cli/phone_window.h"
#include "corvane/platform/message_box.h"

namespace cli {
namespace {

// Message boxes of the library and the plug-in become lines of the console while a command runs.
class MessageBoxRoute {
 public:
  explicit MessageBoxRoute(Console& console)
      : previous_(platform::SetMessageBoxHook(
            [&console](const std::string& text, const std::string& caption) {
              console.MessageBox(CurrentPhone::Get(), text, caption);
            })) {}
  ~MessageBoxRoute() { platform::SetMessageBoxHook(std::move(previous_)); }
  MessageBoxRoute(const MessageBoxRoute&) = delete;
  MessageBoxRoute& operator=(const MessageBoxRoute&) = delete;

 private:
  platform::MessageBoxHook previous_;
};

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const Environment& environment) {
  const Parsed parsed = ParseArguments(args);
  const Options& o = parsed.options;
  if (!parsed.error.empty()) {
    // A script that asked for JSON reads its answer from standard output, even for bad arguments.
    const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
    Console console(out, err, {json, false, false});
    console.Error(parsed.error);
    console.Hint(std::string("Try 'tarvex-cli ") + (o.multi ? "multi " : "") +
                 CommandName(o.command) + (o.command == Command::kNone ? "" : " ") + "--help'.");
    return kExitUsage;
  }
  if (o.help) {
    out << UsageText(o.command, o.multi);
    return kExitOk;
  }
  Console console(out, err, {o.json, environment.terminal && !o.noTty, o.multi});
  const MessageBoxRoute boxes(console);
  if (o.command == Command::kPorts) return RunPorts(o, console, environment);
  if (o.command == Command::kDoctor) return RunDoctor(console);
  if (o.command == Command::kRecords) return RunRecordsCommand(o, console, environment);
  return RunSession(o, console, environment);
}

}  // namespace cli
