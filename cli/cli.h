#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "corvane/platform/cancellation.h"

// tarvex-cli as a function: the program's main() and the tests call the same entry point.
namespace cli {

struct Environment {
  bool terminal = false;         // standard output is a terminal: progress bars may be drawn
  std::string programDirectory;  // where model.so is looked for by default
  // Where "Tarvex.ini" and the records are looked for ("" : no settings file, no local records).
  std::string configDirectory;
  std::string dataDirectory;
  // Cancelled by Ctrl-C or SIGTERM, with the status to end with (null: never). The command then
  // cancels every phone's run, waits for it, cleans up and ends with that status.
  const platform::Cancellation* interrupt = nullptr;
};

// Runs one command line (without the program name); returns the exit status.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const Environment& environment);

}  // namespace cli
