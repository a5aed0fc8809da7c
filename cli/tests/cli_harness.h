#pragma once

#include <string>
#include <vector>

#include "json_reader.h"

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
  std::vector<testing_json::Value> Json() const;
};

CliRun Cli(const std::vector<std::string>& args, bool terminal = false);

// The built program, run through the shell with `environment` ("NAME=value ...") in front.
CliRun RunProgram(const std::string& arguments, const std::string& environment = "");

// The texts of the status lines in plain output: what follows the "%02d:%04.1f Sec  :" prefix.
std::vector<std::string> StatusTexts(const std::string& out);

// Whether `text` has the shape of `shape`: '9' stands for any digit, every other character for
// itself.
bool Shaped(const std::string& text, const std::string& shape);

// The JSON events of one kind.
std::vector<testing_json::Value> Events(const std::vector<testing_json::Value>& all,
                                        const std::string& event);

std::string ProgramDirectory();

}  // namespace cli_testing
