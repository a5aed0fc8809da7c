// tarvex-cli: the headless front end. Everything but the process's own surroundings (arguments,
// standard streams, whether the output is a terminal) lives in RunCli.

#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/terminal.h"
#include "corvane/platform/process.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  cli::Environment env;
  env.terminal = cli::StandardOutputIsTerminal();
  env.programDirectory = platform::ExecutableDirectory();
  return cli::RunCli(args, std::cout, std::cerr, env);
}
