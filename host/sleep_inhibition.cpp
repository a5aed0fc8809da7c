#include "host/sleep_inhibition.h"

#include <utility>

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

}  // namespace sleep_inhibition
