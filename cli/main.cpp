// tarvex-cli: the headless front end. Everything but the process's own surroundings (arguments,
// standard streams, whether the output is a terminal, Ctrl-C) lives in RunCli.

#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/terminal.h"
#include "corvane/platform/interrupts.h"
#include "corvane/platform/process.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  cli::Environment env;
  env.terminal = cli::StandardOutputIsTerminal();
  env.programDirectory = platform::ExecutableDirectory();
  env.configDirectory = platform::UserConfigDirectory();
  env.dataDirectory = platform::UserDataDirectory();
  // Ctrl-C and SIGTERM only mark this; the command cancels its phones and ends in order.
  static platform::Cancellation interrupted;
  platform::RouteInterruptsTo(&interrupted);
  env.interrupt = &interrupted;
  const int status = cli::RunCli(args, std::cout, std::cerr, env);
  platform::RouteInterruptsTo(nullptr);
  return status;
}
