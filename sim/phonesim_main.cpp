// phonesim: a simulated phone on a pseudo-terminal, for trying the tools by hand.

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include "sim/generic_boot_loader.h"
#include "sim/phone.h"

namespace {

std::atomic<bool> g_quit{false};

void OnSignal(int) { g_quit = true; }

void Usage() {
  std::printf(
      "usage: phonesim [--help]\n"
      "Starts a simulated phone whose boot loader acknowledges every framed command,\n"
      "prints the pseudo-terminal to open, and runs until interrupted.\n");
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      Usage();
      return 0;
    }
    std::fprintf(stderr, "phonesim: unknown argument '%s'\n", argv[i]);
    Usage();
    return 2;
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  try {
    phonesim::Phone phone(std::make_unique<phonesim::GenericBootLoader>());
    std::printf("phonesim: boot loader listening on %s\n", phone.Path().c_str());
    std::fflush(stdout);
    while (!g_quit && !phone.Vanished()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const phonesim::PhoneStats stats = phone.Stats();
    std::printf("phonesim: %llu requests, %llu bytes in, %llu bytes out\n",
                static_cast<unsigned long long>(stats.requests),
                static_cast<unsigned long long>(stats.bytesIn),
                static_cast<unsigned long long>(stats.bytesOut));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
