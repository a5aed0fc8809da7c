// The USB description table on arbitrary text: every line that holds more than blanks and a
// comment is a rule or counted as rejected, and the rules, written back as table lines, read
// again as the same rules (a description never takes in a comment, a line break or its
// neighbour's fields).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "corvane/ports/usb_descriptions.h"

namespace {

std::string LineOf(const ports::UsbDescriptionRule& rule) {
  char head[32];
  std::snprintf(head, sizeof head, "%04x %04x ", rule.vendor, rule.product);
  std::string line = head;
  if (rule.interfaceNumber < 0) {
    line += "* ";
  } else {
    std::snprintf(head, sizeof head, "%x ", static_cast<unsigned>(rule.interfaceNumber));
    line += head;
  }
  return line + rule.description + "\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  ports::UsbDescriptionTable first;
  first.Parse(text);
  std::string written;
  for (const ports::UsbDescriptionRule& rule : first.Rules()) {
    if (rule.description.empty() || rule.description.find_first_of("#\n") != std::string::npos) {
      std::abort();
    }
    written += LineOf(rule);
  }
  ports::UsbDescriptionTable second;
  second.Parse(written);
  if (second.Rejected() != 0 || second.Size() != first.Size()) std::abort();
  for (size_t i = 0; i < first.Size(); ++i) {
    const ports::UsbDescriptionRule& a = first.Rules()[i];
    const ports::UsbDescriptionRule& b = second.Rules()[i];
    if (a.vendor != b.vendor || a.product != b.product || a.interfaceNumber != b.interfaceNumber ||
        a.description != b.description) {
      std::abort();
    }
  }
  return 0;
}
