// Which ports a run takes: the watcher's settling rule, ports named by the user, and the reports
// of the ports and doctor commands.

#include <gtest/gtest.h>
#include <filesystem>

#include <string>
#include <vector>

#include "cli/ports.h"
#include "cli_harness.h"
#include "corvane/platform/port_table.h"
#include "sim/tq4410.h"
#include "support/discovery_sandbox.h"

namespace {

SerialPortEntry Entry(const std::string& path) {
  SerialPortEntry e;
  e.devicePath = path;
  e.portNumber = platform::BindPort(path);
  return e;
}

std::vector<std::string> Paths(const std::vector<SerialPortEntry>& entries) {
  std::vector<std::string> out;
  for (const auto& e : entries) out.push_back(e.devicePath);
  return out;
}

TEST(PortWatcher, PortsPresentAtTheStartAreReadyAndNewOnesAfterASecondSighting) {
  std::vector<SerialPortEntry> present = {Entry("/dev/fake-a")};
  cli::PortWatcher watcher([&] { return present; });
  EXPECT_EQ(Paths(watcher.Poll().ready), std::vector<std::string>{"/dev/fake-a"});
  present.push_back(Entry("/dev/fake-b"));
  cli::PortPoll poll = watcher.Poll();
  EXPECT_EQ(Paths(poll.present).size(), 2u);
  EXPECT_EQ(Paths(poll.ready), std::vector<std::string>{"/dev/fake-a"});
  EXPECT_EQ(Paths(watcher.Poll().ready), (std::vector<std::string>{"/dev/fake-a", "/dev/fake-b"}));
  // Gone for one pass, then back: it settles again before it is taken.
  present.erase(present.begin());
  EXPECT_EQ(Paths(watcher.Poll().ready), std::vector<std::string>{"/dev/fake-b"});
  present.push_back(Entry("/dev/fake-a"));
  EXPECT_EQ(Paths(watcher.Poll().ready), std::vector<std::string>{"/dev/fake-b"});
  EXPECT_EQ(Paths(watcher.Poll().ready).size(), 2u);
}

TEST(PortWatcher, WaitingEndsWithThePhoneOrTheTimeLimit) {
  int passes = 0;
  cli::PortWatcher late([&] {
    ++passes;
    return passes >= 3 ? std::vector<SerialPortEntry>{Entry("/dev/fake-late")}
                       : std::vector<SerialPortEntry>{};
  });
  const auto found = cli::WaitForPhone(late, 5000, 1);
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->devicePath, "/dev/fake-late");
  EXPECT_EQ(passes, 4);  // seen at the third pass, taken at the fourth

  cli::PortWatcher never([] { return std::vector<SerialPortEntry>{}; });
  EXPECT_FALSE(cli::WaitForPhone(never, 30, 5).has_value());
}

TEST(ResolvePort, NumbersMustBeBoundAndPathsMustBeTerminals) {
  testing_support::DiscoverySandbox sandbox;
  phonesim::SimulatedTq4410 phone;
  const cli::DiscoverFn discover = cli::PhoneDiscovery();

  const cli::NamedPort byNumber = cli::ResolvePort(std::to_string(phone.PortNumber()), discover);
  ASSERT_TRUE(byNumber.entry.has_value()) << byNumber.error;
  EXPECT_EQ(byNumber.entry->devicePath, phone.Path());
  EXPECT_EQ(byNumber.entry->description, "Zelco Mobile USB Modem");

  const cli::NamedPort byPath = cli::ResolvePort(phone.Path(), discover);
  ASSERT_TRUE(byPath.entry.has_value());
  EXPECT_EQ(byPath.entry->portNumber, phone.PortNumber());
  // Through a link (as /dev/serial/by-id/ gives them): the same port, not a second binding.
  const std::string link = testing::TempDir() + "resolve-port-link";
  std::filesystem::remove(link);
  std::filesystem::create_symlink(phone.Path(), link);
  const cli::NamedPort byLink = cli::ResolvePort(link, discover);
  std::filesystem::remove(link);
  ASSERT_TRUE(byLink.entry.has_value()) << byLink.error;
  EXPECT_EQ(byLink.entry->portNumber, phone.PortNumber());
  EXPECT_EQ(cli::ResolvePort("/dev/null", discover).error,
            "/dev/null is not a serial port (a terminal device such as /dev/ttyACM0 is needed)");

  EXPECT_EQ(cli::ResolvePort("0", discover).error,
            "--port takes a port number from 1 to 255 or a device path, not '0'");
  EXPECT_NE(cli::ResolvePort("256", discover).error, "");
  EXPECT_EQ(cli::ResolvePort("/dev/no-such-port", discover).error,
            "no such device: /dev/no-such-port");
  // The highest number is the least likely to be bound by anything in this process.
  ASSERT_TRUE(platform::PortPath(255).empty());
  EXPECT_EQ(cli::ResolvePort("255", discover).error,
            "no port has number 255 ('tarvex-cli ports' lists the phone ports)");
}

TEST(PortsCommand, ListsTheSimulatedPhoneAndWhyOtherPortsWereNotTaken) {
  testing_support::DiscoverySandbox sandbox;
  phonesim::PortIdentity other{"USB Serial Converter", 0x0403, 0x6001, 0};
  phonesim::SimulatedTq4410 phone;
  phonesim::SimulatedTq4410 notAPhone({.identity = other});
  const cli_testing::CliRun run = cli_testing::Cli({"ports", "--json"});
  EXPECT_EQ(run.status, 0) << run.err;
  const auto ports = cli_testing::Events(run.Json(), "port");
  ASSERT_EQ(ports.size(), 2u) << run.out;
  for (const auto& p : ports) {
    const bool isPhone = p.at("path") == phone.Path();
    EXPECT_EQ(p.at("taken").get<bool>(), isPhone);
    if (isPhone) {
      EXPECT_EQ(p.at("port"), phone.PortNumber());
      EXPECT_EQ(p.at("description"), "Zelco Mobile USB Modem");
      EXPECT_EQ(p.at("vendor"), 0x1d6b);
      EXPECT_TRUE(p.at("can_open").get<bool>());  // the user's own pseudo-terminal
    } else {
      EXPECT_NE(p.at("reason").get<std::string>().find("USB Serial Converter"), std::string::npos);
    }
  }
  // The same diagnosis as the program's port view closes the report.
  ASSERT_EQ(cli_testing::Events(run.Json(), "system").size(), 1u);
  const cli_testing::CliRun text = cli_testing::Cli({"ports"});
  EXPECT_TRUE(text.OutHas("Zelco Mobile USB Modem"));
  EXPECT_TRUE(text.OutHas("not taken: \"USB Serial Converter\""));
}

TEST(PortsCommand, ControlCharactersOfADescriptionNeverReachTheTerminal) {
  testing_support::DiscoverySandbox sandbox;
  const std::string description = "Zelco Mobile USB Modem\x1b]0;owned\x07\x7f";
  phonesim::SimulatedTq4410 phone({.identity = {description, 0x1d6b, 0x0104, 0}});
  const cli_testing::CliRun text = cli_testing::Cli({"ports"});
  EXPECT_EQ(text.status, 0);
  EXPECT_TRUE(text.OutHas("Zelco Mobile USB Modem\\x1b]0;owned\\x07\\x7f")) << text.out;
  EXPECT_EQ(text.out.find_first_of("\x1b\x07\x7f"), std::string::npos);
  const auto ports = cli_testing::Events(cli_testing::Cli({"ports", "--json"}).Json(), "port");
  ASSERT_EQ(ports.size(), 1u);
  EXPECT_EQ(ports[0].at("description"), description);  // escaped as JSON escapes, read back whole
}

TEST(PortsCommand, NoPhoneIsExitStatusFour) {
  testing_support::DiscoverySandbox sandbox;
  const cli_testing::CliRun run = cli_testing::Cli({"ports"});
  EXPECT_EQ(run.status, 4);
  EXPECT_TRUE(run.OutHas("  none"));
}

TEST(DoctorCommand, AUsablePhonePortPassesAndARefusedOneGetsItsDescriptionLine) {
  testing_support::DiscoverySandbox sandbox;
  phonesim::SimulatedTq4410 phone;
  phonesim::SimulatedTq4410 notAPhone({.identity = {"USB Serial Converter", 0x0403, 0x6001, 2}});
  const cli_testing::CliRun run = cli_testing::Cli({"doctor", "--json"});
  EXPECT_EQ(run.status, 0) << run.out;
  const auto ports = cli_testing::Events(run.Json(), "port");
  ASSERT_EQ(ports.size(), 2u) << run.out;
  for (const auto& p : ports) {
    if (p.at("path") == phone.Path()) {
      EXPECT_TRUE(p.at("can_open").get<bool>());
      EXPECT_TRUE(p.at("holders").empty());  // this process's own hold does not count
      EXPECT_FALSE(p.contains("table_line"));
    } else {
      EXPECT_EQ(p.at("table_line"), "0403 6001 02 Zelco Mobile USB Modem");
    }
  }
  const auto verdict = cli_testing::Events(run.Json(), "verdict");
  ASSERT_EQ(verdict.size(), 1u);
  EXPECT_TRUE(verdict[0].at("usable").get<bool>());
  EXPECT_TRUE(cli_testing::Cli({"doctor"}).OutHas("Verdict: every phone port can be used."));
}

TEST(DoctorCommand, NoPhonePortIsStatusOneAndBadArgumentsTwo) {
  testing_support::DiscoverySandbox sandbox;
  const cli_testing::CliRun run = cli_testing::Cli({"doctor"});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.OutHas("no phone port found: plug the phone in, in download mode")) << run.out;
  EXPECT_EQ(cli_testing::Cli({"doctor", "--port", "3"}).status, 2);
  EXPECT_EQ(cli_testing::Cli({"doctor", "extra"}).status, 2);
}

}  // namespace
