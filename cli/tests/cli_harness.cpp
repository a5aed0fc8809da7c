#include "cli_harness.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "corvane/platform/process.h"
#include "support/temp_dir.h"

namespace cli_testing {

std::vector<std::string> CliRun::OutLines() const {
  std::vector<std::string> lines;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::vector<nlohmann::json> CliRun::Json() const {
  std::vector<nlohmann::json> values;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    auto value = ParseJson(line);
    EXPECT_TRUE(value.has_value()) << "not JSON: " << line;
    if (!value) return {};
    values.push_back(std::move(*value));
  }
  return values;
}

std::optional<nlohmann::json> ParseJson(const std::string& text) {
  using Event = nlohmann::json::parse_event_t;
  std::vector<std::set<std::string>> keys;  // of each object being read
  bool repeated = false;
  const auto track = [&](int, Event event, nlohmann::json& parsed) {
    if (event == Event::object_start) keys.emplace_back();
    if (event == Event::object_end) keys.pop_back();
    if (event == Event::key && !keys.back().insert(parsed.get<std::string>()).second) {
      repeated = true;
    }
    return true;
  };
  nlohmann::json value = nlohmann::json::parse(text, track, /*allow_exceptions=*/false);
  if (value.is_discarded() || repeated) return std::nullopt;
  return value;
}

std::string ProgramDirectory() { return platform::ExecutableDirectory(); }

CliRun Cli(const std::vector<std::string>& args, bool terminal) {
  cli::Environment env;
  env.terminal = terminal;
  env.programDirectory = ProgramDirectory();
  return Cli(args, env);
}

CliRun Cli(const std::vector<std::string>& args, const cli::Environment& environment) {
  std::ostringstream out;
  std::ostringstream err;
  CliRun r;
  r.status = cli::RunCli(args, out, err, environment);
  r.out = out.str();
  r.err = err.str();
  return r;
}

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

CliRun RunProgram(const std::string& arguments, const std::string& environment) {
  testing_support::TempDir dir;
  const std::string out = dir / "out";
  const std::string err = dir / "err";
  const std::string status = dir / "status";
  const std::string command = "cd '" + dir.Path().string() + "' && " + environment + " '" +
                              ProgramDirectory() + "/tarvex-cli' " + arguments + " >'" + out +
                              "' 2>'" + err + "'; echo $? >'" + status + "'";
  CliRun r;
  if (std::system(command.c_str()) != 0) return r;
  r.out = ReadAll(out);
  r.err = ReadAll(err);
  r.status = std::atoi(ReadAll(status).c_str());
  return r;
}

namespace {

// Whether the child has ended, leaving it to be waited for.
bool Ended(int pid) {
  siginfo_t info{};
  return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
         info.si_pid != 0;
}

}  // namespace

struct StartedProgram::Files {
  testing_support::TempDir dir;
  std::string out = dir / "out";
  std::string err = dir / "err";
};

StartedProgram::StartedProgram(const std::string& arguments, const std::string& environment,
                               const std::string& program)
    : files_(std::make_unique<Files>()) {
  const std::string path =
      program.rfind('/', 0) == 0 ? program : ProgramDirectory() + "/" + program;
  // exec all the way down, so that the signals reach the program itself, not a shell.
  const std::string command = "cd '" + files_->dir.Path().string() + "' && exec env " +
                              environment + " '" + path + "' " + arguments + " >'" + files_->out +
                              "' 2>'" + files_->err + "'";
  pid_ = ::fork();
  if (pid_ == 0) {
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
}

StartedProgram::~StartedProgram() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

bool StartedProgram::WaitForOutput(const std::string& text) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (std::chrono::steady_clock::now() < deadline) {
    if (ReadAll(files_->out).find(text) != std::string::npos) return true;
    if (pid_ <= 0 || Ended(pid_)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

std::string StartedProgram::Output() const { return ReadAll(files_->out); }

void StartedProgram::Signal(int signal) {
  if (pid_ > 0) ::kill(pid_, signal);
}

CliRun StartedProgram::Wait() {
  CliRun r;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  int status = 0;
  while (pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) return r;  // killed by the destructor
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  pid_ = -1;
  r.out = ReadAll(files_->out);
  r.err = ReadAll(files_->err);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

bool Shaped(const std::string& text, const std::string& shape) {
  if (text.size() != shape.size()) return false;
  for (size_t i = 0; i < shape.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (shape[i] == '9' ? !digit : text[i] != shape[i]) return false;
  }
  return true;
}

size_t StatusPrefix(const std::string& line) {
  size_t at = 0;
  if (!line.empty() && line[0] == '[') {
    const size_t close = line.find("] ");
    if (close == std::string::npos) return std::string::npos;
    at = close + 2;
  }
  const std::string shape = "99:99.9 Sec  :";
  return Shaped(line.substr(at, shape.size()), shape) ? at + shape.size() : std::string::npos;
}

std::vector<std::string> StatusTexts(const std::string& out) {
  std::vector<std::string> texts;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    const size_t text = StatusPrefix(line);
    if (text != std::string::npos) texts.push_back(line.substr(text));
  }
  return texts;
}

std::vector<nlohmann::json> Events(const std::vector<nlohmann::json>& all,
                                   const std::string& event) {
  std::vector<nlohmann::json> out;
  for (const auto& v : all) {
    if (v.is_object() && v.contains("event") && v.at("event") == event) {
      out.push_back(v);
    }
  }
  return out;
}

}  // namespace cli_testing
