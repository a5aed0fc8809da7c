#pragma once

#include <cstdint>

// Messages that the library and the plug-in send to their owner window.
namespace notify {

constexpr uint32_t kWmUser = 0x0400;
constexpr uint32_t kMsgNotify = kWmUser + 1;  // 1025: status, progress and file lines
constexpr uintptr_t kStatusText = 1001;       // lParam: address of the text (copy it)
constexpr uintptr_t kProgress = 1002;         // lParam: 0..100 or a phase code below
constexpr uintptr_t kFileLine = 1003;         // lParam: address of the text (copy it)

constexpr uint32_t kMsgFactory = 1004;          // the phone's factory data
constexpr uintptr_t kFactoryModelName = 1005;  // lParam: address of a zero-terminated model name
constexpr uintptr_t kFactoryPid = 1006;        // lParam: address of a 64-byte PID block

constexpr intptr_t kProgressFailed = 200;
constexpr intptr_t kProgressDisconnecting = 300;
constexpr intptr_t kProgressComplete = 400;
constexpr intptr_t kProgressTickerStart = 500;
constexpr intptr_t kProgressTickerStop = 600;

}  // namespace notify
