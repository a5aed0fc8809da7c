#include "cli/ports.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <thread>

#include "corvane/platform/path.h"
#include "corvane/platform/port_table.h"
#include "corvane/platform/terminal.h"
#include "corvane/ports/find_phone_ports.h"
#include "corvane/ports/port_enumeration.h"

namespace cli {
namespace {

bool AllDigits(const std::string& s) {
  return !s.empty() &&
         std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

std::vector<SerialPortEntry> FindPhones() {
  std::vector<SerialPortEntry> ports;
  FindPhonePorts(ports, 0, 0, 1);  // a system that cannot be asked gives nothing this pass
  return ports;
}

}  // namespace

DiscoverFn PhoneDiscovery(std::set<std::string> only) {
  return [only = std::move(only)] {
    std::vector<SerialPortEntry> ports = FindPhones();
    if (!only.empty()) {
      std::erase_if(ports, [&](const SerialPortEntry& e) { return !only.count(e.devicePath); });
    }
    return ports;
  };
}

PortWatcher::PortWatcher(DiscoverFn discover) : discover_(std::move(discover)) {}

PortPoll PortWatcher::Poll() {
  PortPoll poll;
  poll.present = discover_();
  std::set<std::string> now;
  for (const SerialPortEntry& e : poll.present) {
    now.insert(e.devicePath);
    if (first_ || previous_.count(e.devicePath)) poll.ready.push_back(e);
  }
  first_ = false;
  previous_ = std::move(now);
  return poll;
}

bool WaitUnlessInterrupted(const platform::Cancellation* interrupt, uint64_t ms) {
  const int realMs = static_cast<int>(std::min<uint64_t>(ms, 1u << 30));
  if (interrupt != nullptr) return interrupt->WaitRealMs(realMs);
  std::this_thread::sleep_for(std::chrono::milliseconds(realMs));
  return false;
}

std::optional<SerialPortEntry> WaitForPhone(PortWatcher& watcher, std::optional<uint64_t> waitMs,
                                            uint64_t pollMs,
                                            const platform::Cancellation* interrupt) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs.value_or(0));
  for (;;) {
    const PortPoll poll = watcher.Poll();
    if (!poll.ready.empty()) return poll.ready.front();
    if (waitMs && std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    if (WaitUnlessInterrupted(interrupt, pollMs)) return std::nullopt;
  }
}

NamedPort ResolvePort(const std::string& arg, const DiscoverFn& discover) {
  NamedPort out;
  // Discovery first: it binds the numbers the way `tarvex-cli ports` shows them.
  const std::vector<SerialPortEntry> found = discover();
  std::string path;
  if (AllDigits(arg)) {
    const unsigned long number = arg.size() > 3 ? 0 : std::stoul(arg);
    if (number < 1 || number > 255) {
      out.error = "--port takes a port number from 1 to 255 or a device path, not '" + arg + "'";
      return out;
    }
    path = platform::PortPath(static_cast<uint8_t>(number));
    if (path.empty()) {
      out.error = "no port has number " + arg + " ('tarvex-cli ports' lists the phone ports)";
      return out;
    }
  } else if (const std::string named = platform::SystemPortPath(arg); !named.empty()) {
    path = named;  // COM12 on Windows: the system opens it by a path of its own
  } else {
    std::error_code ec;
    if (!std::filesystem::exists(platform::PathOf(arg), ec)) {
      out.error = "no such device: " + arg;
      return out;
    }
    // A link such as /dev/serial/by-id/... names the port that discovery lists by its own path.
    const std::filesystem::path real = std::filesystem::canonical(platform::PathOf(arg), ec);
    path = ec ? arg : platform::Utf8Of(real);
    if (!platform::IsTerminalDevice(path)) {
      out.error = arg + " is not a serial port (a terminal device such as /dev/ttyACM0 is needed)";
      return out;
    }
  }
  for (const SerialPortEntry& e : found) {
    if (e.devicePath == path) {
      out.entry = e;
      return out;
    }
  }
  // A port that discovery does not list (a phone with an unknown description, say) is still
  // opened when named: the user asked for it.
  SerialPortEntry e;
  e.devicePath = path;
  e.portName = platform::BareName(path);
  e.portNumber = platform::BindPort(path);
  if (e.portNumber == 0) {
    out.error = "the port table is full: no number left for " + path;
    return out;
  }
  out.entry = e;
  return out;
}

}  // namespace cli
