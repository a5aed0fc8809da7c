#pragma once

#include <string>

namespace cli {

// `text` as a terminal may show it: names and descriptions come from devices and other
// programs, and a control character among them would act on the user's terminal (move the
// cursor, retitle the window, hide what follows). The C0 controls and DEL become \xNN, the C1
// controls written as UTF-8 become \u00NN; everything else stays as it is.
std::string Printable(const std::string& text);

}  // namespace cli
