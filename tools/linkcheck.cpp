// tarvex-linkcheck: checks the serial link and the boot-loader transactions end to end.
//
// Without --port it attaches a simulated phone and exchanges commands and a data block with its
// boot loader over a real pseudo-terminal. With --port it only opens and configures the given
// port (boot-loader commands depend on the phone's state, so none is sent to real hardware).

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "corvane/platform/byte_order.h"
#include "corvane/platform/notify.h"
#include "corvane/platform/port_table.h"
#include "corvane/protocol/misc_util_comm.h"
#include "sim/generic_boot_loader.h"
#include "sim/phone.h"

namespace {

class PrintingWindow : public platform::MessageTarget {
 public:
  platform::LRESULT HandleMessage(uint32_t message, platform::WPARAM wParam,
                                  platform::LPARAM lParam) override {
    if (message == notify::kMsgNotify && wParam == notify::kStatusText) {
      std::printf("  status: %s\n", reinterpret_cast<const char*>(lParam));
    }
    return 0;
  }
};

std::vector<uint8_t> Header(uint8_t command, uint32_t payloadLength) {
  std::vector<uint8_t> h(14, 0);
  h[0] = command;
  bytes::StoreLe32(h.data() + 6, payloadLength);
  return h;
}

// How long the boot loader took to answer: the median of `commands` bare commands, and one
// 512 KiB data block (its contents in `block`).
struct Exchanged {
  double commandMs = 0;
  double blockMs = 0;
};

std::vector<uint8_t> TestBlock() {
  std::vector<uint8_t> block(size_t{512} * 1024);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 31 + (i >> 9));
  return block;
}

double MsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

bool Exchange(CMiscUtilComm& link, int commands, const std::vector<uint8_t>& block,
              Exchanged& out) {
  std::vector<double> roundTrips;
  for (int i = 0; i < commands; ++i) {
    const std::vector<uint8_t> h = Header(0x89, 0);
    const auto t0 = std::chrono::steady_clock::now();
    const int r = link.AsyncTxRxEx(h.data(), nullptr, h.size(), 1000);
    roundTrips.push_back(MsSince(t0));
    if (r != kTxOk) {
      std::fprintf(stderr, "tarvex-linkcheck: command %d failed (%d)\n", i + 1, r);
      return false;
    }
  }
  std::sort(roundTrips.begin(), roundTrips.end());
  out.commandMs = roundTrips[roundTrips.size() / 2];
  std::printf("%d commands acknowledged, median round trip %.2f ms\n", commands, out.commandMs);

  const std::vector<uint8_t> h = Header(0x8B, static_cast<uint32_t>(block.size()));
  const auto t0 = std::chrono::steady_clock::now();
  const int r = link.AsyncTxRxExFile(h.data(), nullptr, h.size(), block.data(), block.size(), 5000);
  out.blockMs = MsSince(t0);
  if (r != kTxOk) {
    std::fprintf(stderr, "tarvex-linkcheck: 512 KiB block failed (result %d)\n", r);
    return false;
  }
  return true;
}

void PrintBlock(const Exchanged& e, const char* verified) {
  std::printf("512 KiB block acknowledged in %.1f ms (%.1f MB/s)%s\n", e.blockMs,
              512.0 * 1024 / e.blockMs / 1000.0, verified);
}

// With `exchange`, the port must lead to a boot loader that acknowledges every framed command
// (a plain phonesim): a phone in another state would take the commands for its own.
int CheckRealPort(const std::string& arg, bool exchange, int commands) {
  const bool isNumber = !arg.empty() && std::all_of(arg.begin(), arg.end(), [](unsigned char c) {
    return std::isdigit(c) != 0;
  });
  const long number = isNumber ? std::strtol(arg.c_str(), nullptr, 10) : 0;
  const uint8_t port = isNumber ? static_cast<uint8_t>(number) : platform::BindPort(arg);
  if (port == 0 || (isNumber && (number < 1 || number > 255))) {
    std::fprintf(stderr, "tarvex-linkcheck: '%s' is not a port number (1..255) or device path\n",
                 arg.c_str());
    return 2;
  }
  CMiscUtilComm link;
  if (!link.SetComPort(port)) {
    std::fprintf(
        stderr, "tarvex-linkcheck: cannot open port %u (%s)\n", port,
        platform::PortPath(port).empty() ? "no device bound" : platform::PortPath(port).c_str());
    return 1;
  }
  std::printf("port %u (%s) opened: %u baud, 8N1, raw\n", port, platform::PortPath(port).c_str(),
              link.GetLineState().baudRate);
  Exchanged e;
  if (exchange) {
    if (!Exchange(link, commands, TestBlock(), e)) return 1;
    PrintBlock(e, "");
  }
  link.Close();
  return 0;
}

int CheckSimulatedPhone(int commands) {
  phonesim::Phone phone(std::make_unique<phonesim::GenericBootLoader>());
  std::printf("simulated phone on %s (port %u)\n", phone.Path().c_str(), phone.PortNumber());
  PrintingWindow window;
  CMiscUtilComm link;
  link.SetParentHandle(&window);
  if (!link.SetComPort(phone.PortNumber())) {
    std::fprintf(stderr, "tarvex-linkcheck: cannot open %s\n", phone.Path().c_str());
    return 1;
  }
  const std::vector<uint8_t> block = TestBlock();
  Exchanged e;
  const bool exchanged = Exchange(link, commands, block, e);
  link.Close();
  if (!exchanged) return 1;
  uint32_t sum = 0;
  for (const uint8_t b : block) sum += b;
  uint64_t got = 0;
  uint32_t phoneSum = 0;
  phone.WithPersonality([&](phonesim::Personality& p) {
    auto& loader = static_cast<phonesim::GenericBootLoader&>(p);
    got = loader.PayloadBytes();
    phoneSum = loader.PayloadCheck();
  });
  if (got != block.size() || phoneSum != sum) {
    std::fprintf(stderr, "tarvex-linkcheck: 512 KiB block arrived wrong (%llu bytes)\n",
                 static_cast<unsigned long long>(got));
    return 1;
  }
  PrintBlock(e, ", contents verified");
  std::printf("link check passed\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string port;
  bool exchange = false;
  int commands = 20;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::printf(
          "usage: tarvex-linkcheck [--port N|PATH [--exchange]] [--count N]\n"
          "Without --port, checks the link against a simulated phone. With --port, opens and\n"
          "configures the port; --exchange also times N commands and a 512 KiB block with the\n"
          "boot loader there, which must acknowledge every framed command (a plain phonesim).\n");
      return 0;
    }
    if (a == "--port" && i + 1 < argc) {
      port = argv[++i];
      continue;
    }
    if (a == "--exchange") {
      exchange = true;
      continue;
    }
    if (a == "--count" && i + 1 < argc) {
      commands = std::max(1, static_cast<int>(std::strtol(argv[++i], nullptr, 10)));
      continue;
    }
    std::fprintf(stderr, "tarvex-linkcheck: unknown or incomplete argument '%s'\n", a.c_str());
    return 2;
  }
  return port.empty() ? CheckSimulatedPhone(commands) : CheckRealPort(port, exchange, commands);
}
