#pragma once

#include <string>
#include <vector>

// phonesim's command line.
namespace phonesim {

struct PhonesimOptions {
  bool help = false;
  bool tq4410 = false;      // a whole TQ4410 instead of a boot loader that acknowledges all
  bool mdm = false;         // the TQ4410 seen through its Qualcomm modem
  bool memory = false;      // a boot loader that answers read-backs (uploads) of its memory
  std::string description;  // "" as the maker's phones announce themselves
  std::string sample;       // where the sample firmware set is written
  std::string usbPath;      // the USB socket it announces ("" one of its own)
  std::string usbSerial;    // the USB serial number it announces ("" one of its own)
  std::string error;        // why the command line was refused ("" when it was not)
};

PhonesimOptions ParsePhonesimArguments(const std::vector<std::string>& args);

std::string PhonesimUsage();

}  // namespace phonesim
