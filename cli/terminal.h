#pragma once

// Whether progress bars may be redrawn on standard output.
namespace cli {

// True when standard output is a terminal that understands cursor movement.
bool StandardOutputIsTerminal();

}  // namespace cli
