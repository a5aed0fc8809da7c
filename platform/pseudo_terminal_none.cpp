// A system without pseudo-terminals (Windows): no simulated phone can be attached, and every
// attempt says so in words a user can act on.

#include "corvane/platform/pseudo_terminal.h"

namespace platform {

PseudoTerminal::~PseudoTerminal() = default;

std::string PseudoTerminal::Unavailable() {
  return "simulated phones need pseudo-terminals, which Windows does not have; connect a phone "
         "and give its COM port";
}

std::unique_ptr<PseudoTerminal> PseudoTerminal::Create(std::string* error) {
  if (error != nullptr) *error = Unavailable();
  return nullptr;
}

}  // namespace platform
