#pragma once

#include <nlohmann/json.hpp>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"

// Running tarvex-cli from a test: in this process through RunCli (fast, and the sanitizers see
// everything), or as the built program in a shell.
namespace cli_testing {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;

  std::vector<std::string> OutLines() const;
  bool OutHas(const std::string& text) const { return out.find(text) != std::string::npos; }
  bool ErrHas(const std::string& text) const { return err.find(text) != std::string::npos; }
  // Every line of out parsed as JSON (a test failure when one is not).
  std::vector<nlohmann::json> Json() const;
};

CliRun Cli(const std::vector<std::string>& args, bool terminal = false);
CliRun Cli(const std::vector<std::string>& args, const cli::Environment& environment);

// The built program, run through the shell with `environment` ("NAME=value ...") in front.
CliRun RunProgram(const std::string& arguments, const std::string& environment = "");

// A built program (tarvex-cli unless told; a name beside the tests or an absolute path) started
// in the background, for what happens while it runs (signals). Its output goes to files, as with
// RunProgram.
class StartedProgram {
 public:
  StartedProgram(const std::string& arguments, const std::string& environment = "",
                 const std::string& program = "tarvex-cli");
  ~StartedProgram();  // a program still running is killed
  StartedProgram(const StartedProgram&) = delete;
  StartedProgram& operator=(const StartedProgram&) = delete;

  int Pid() const { return pid_; }
  // Waits until its standard output holds `text`; false when it ended or a minute passed first.
  bool WaitForOutput(const std::string& text);
  // Its standard output so far.
  std::string Output() const;
  void Signal(int signal);
  // Waits for it to end; status -1 when it had not ended within a minute (it is then killed).
  CliRun Wait();

 private:
  struct Files;
  std::unique_ptr<Files> files_;
  int pid_ = -1;
};

// The texts of the status lines in plain output: what follows the "%02d:%04.1f Sec  :" prefix.
std::vector<std::string> StatusTexts(const std::string& out);

// Whether `text` has the shape of `shape`: '9' stands for any digit, every other character for
// itself.
bool Shaped(const std::string& text, const std::string& shape);

// One JSON text, strictly: nullopt unless it is exactly one JSON value in valid UTF-8 whose
// objects name no key twice (a parser would otherwise keep only the last of them).
std::optional<nlohmann::json> ParseJson(const std::string& text);

// The JSON events of one kind.
std::vector<nlohmann::json> Events(const std::vector<nlohmann::json>& all,
                                   const std::string& event);

std::string ProgramDirectory();

}  // namespace cli_testing
