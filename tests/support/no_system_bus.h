#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace testing_support {

// Points the system bus at a socket that does not exist for one test, as in a container or on
// CI without D-Bus, whatever the machine running the test has; restores the address after.
class NoSystemBus {
 public:
  NoSystemBus() {
    if (const char* was = std::getenv(kName)) previous_ = was;
    ::setenv(kName, "unix:path=/nonexistent/tarvex-test/system_bus_socket", 1);
  }
  ~NoSystemBus() {
    if (previous_) {
      ::setenv(kName, previous_->c_str(), 1);
    } else {
      ::unsetenv(kName);
    }
  }
  NoSystemBus(const NoSystemBus&) = delete;
  NoSystemBus& operator=(const NoSystemBus&) = delete;

 private:
  static constexpr const char* kName = "DBUS_SYSTEM_BUS_ADDRESS";
  std::optional<std::string> previous_;
};

}  // namespace testing_support
