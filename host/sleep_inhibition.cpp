#include "host/sleep_inhibition.h"

#include <memory>
#include <optional>
#include <utility>

#include "corvane/platform/sleep_inhibit.h"

namespace sleep_inhibition {
namespace {

// Only the GUI thread takes and releases holds, so plain values suffice.
int g_holds = 0;

std::function<void(bool)>& Backend() {
  static std::function<void(bool)> backend;
  return backend;
}

void Tell(bool inhibit) {
  if (Backend()) Backend()(inhibit);
}

}  // namespace

Hold::Hold() {
  if (g_holds++ == 0) Tell(true);
}

Hold::~Hold() {
  if (--g_holds == 0) Tell(false);
}

// A backend replaced while holds exist: the old one lets go and the new one takes over, so no
// inhibition is left behind and none is missing.
void SetBackend(std::function<void(bool inhibit)> backend) {
  if (g_holds > 0) Tell(false);
  Backend() = std::move(backend);
  if (g_holds > 0) Tell(true);
}

int Holds() { return g_holds; }

std::function<void(bool inhibit)> SystemBackend(std::function<void(const std::string&)> warn) {
  struct State {
    std::optional<platform::SleepInhibit> hold;
    bool warned = false;
    std::function<void(const std::string&)> warn;
  };
  auto state = std::make_shared<State>();
  state->warn = std::move(warn);
  return [state](bool inhibit) {
    state->hold.reset();
    if (!inhibit) return;
    state->hold.emplace("Writing firmware into a phone");
    if (state->hold->Held() || state->warned) return;
    state->warned = true;
    if (state->warn) state->warn(state->hold->Warning());
  };
}

}  // namespace sleep_inhibition
