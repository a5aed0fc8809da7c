#include "host/download_view.h"

#include "corvane/platform/clock.h"

namespace view {
namespace {

constexpr size_t kModelNameLength = 15;
constexpr size_t kPidShown = 17;

// The text up to its first zero byte, at most `limit` characters of it.
std::string Bounded(const char* text, size_t limit) {
  size_t n = 0;
  while (n < limit && text[n] != '\0') ++n;
  return std::string(text, n);
}

}  // namespace

std::string ElapsedPrefix(uint64_t elapsedMs) { return platform::ElapsedText(elapsedMs) + "  :"; }

FactoryRow ModelNameRow(const char* name) {
  if (name == nullptr) return {"MODEL NAME", ""};
  return {"MODEL NAME", Bounded(name, kModelNameLength)};
}

FactoryRow PidRow(const uint8_t* block) {
  if (block == nullptr) return {"PID", ""};
  const char* text = reinterpret_cast<const char*>(block);
  return {"PID", Bounded(text, kPidShown)};
}

}  // namespace view
