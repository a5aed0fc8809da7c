#pragma once

#include <cstdint>
#include <string>

// What a download window shows, as logic without a window toolkit: the time-stamped log line
// and the factory-data rows (the bar's state is notify::ProgressState). The Qt window and
// tarvex-cli both draw from these.
namespace view {

// "%02d:%04.1f Sec  :" of the time since the run started, computed as the host's log always
// has (single precision, minutes taken off only above 60 seconds).
std::string ElapsedPrefix(uint64_t elapsedMs);

// One row of the factory-data list.
struct FactoryRow {
  std::string item;
  std::string value;
};

// "MODEL NAME": the name as the phone sent it, at most 15 characters.
FactoryRow ModelNameRow(const char* name);
// "PID": the first 17 bytes of the 64-byte block taken as characters, ending at a zero byte.
FactoryRow PidRow(const uint8_t* block);

}  // namespace view
