#pragma once

#include <string>
#include <vector>

namespace testing_support {

// The status lines of the Infineon start-up: boot loaders, then the flash configuration.
inline const std::vector<std::string> kInfineonStartUpLines = {
    "PSI RAM writing start",
    "Trying to communicate with IFX modem",
    "Confirm IFX communication",
    "PSI RAM writing end",
    "Start PSI RAM ",
    "EBL writing start",
    "Start EBL",
    "Set capabilities to be used",
    "Baudrate Change: 115200bps ===> 3000000bps",
    "Set flash ID complete",
    "Set Infineon CFI Information 1",
    "Set Infineon CFI Information 2"};

}  // namespace testing_support
