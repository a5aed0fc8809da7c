#pragma once

#include <filesystem>

#include "corvane/ports/port_enumeration.h"
#include "corvane/ports/published_ports.h"
#include "support/temp_dir.h"

namespace testing_support {

// Port discovery that sees only what the test publishes: an empty device tree and a private
// directory for announcements, both restored at the end.
class DiscoverySandbox {
 public:
  DiscoverySandbox() {
    std::filesystem::create_directories(dir_.Path() / "sys/class/tty");
    ports::SetSystemRoot((dir_.Path() / "sys").string());
    ports::SetPublishDirectory(dir_ / "published");
  }
  ~DiscoverySandbox() {
    ports::SetSystemRoot("");
    ports::SetPublishDirectory("");
  }
  DiscoverySandbox(const DiscoverySandbox&) = delete;
  DiscoverySandbox& operator=(const DiscoverySandbox&) = delete;

 private:
  TempDir dir_;
};

}  // namespace testing_support
