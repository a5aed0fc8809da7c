#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "corvane/platform/export.h"

// The descriptions that phone drivers give their serial interfaces, by USB identity.
//
// A line of the table reads "vendor product interface description": vendor and product in hex,
// the interface number in hex or "*" for any; "#" starts a comment. Later lines win, so a user's
// table extends and overrides the shipped one.
namespace ports {

struct UsbDescriptionRule {
  uint16_t vendor = 0;
  uint16_t product = 0;
  int interfaceNumber = -1;  // -1: any interface
  std::string description;
};

class CORVANE_API UsbDescriptionTable {
 public:
  // Adds the rules of `text`; malformed lines are skipped and counted.
  void Parse(const std::string& text);
  // Adds the rules of a file; false when it cannot be read.
  bool Load(const std::string& path);
  std::optional<std::string> Find(uint16_t vendor, uint16_t product, int interfaceNumber) const;

  size_t Size() const { return rules_.size(); }
  const std::vector<UsbDescriptionRule>& Rules() const { return rules_; }
  size_t Rejected() const { return rejected_; }

  // The shipped table beside the program, then /etc/tarvex, then the user's configuration.
  static UsbDescriptionTable LoadDefault();
  static std::vector<std::string> DefaultPaths();

 private:
  std::vector<UsbDescriptionRule> rules_;
  size_t rejected_ = 0;
};

}  // namespace ports
