// tarvex-pty-echo: the far end of a serial port for the Win32 serial device's tests under Wine.
// Makes a pseudo-terminal, prints its path on the first line and sends back every byte it
// receives until it is killed.

#include <cstdio>
#include <vector>

#include "corvane/platform/pseudo_terminal.h"

int main() {
  std::string error;
  const auto pty = platform::PseudoTerminal::Create(&error);
  if (!pty) {
    std::fprintf(stderr, "tarvex-pty-echo: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", pty->Path().c_str());
  std::fflush(stdout);
  std::vector<unsigned char> buffer(64 * 1024);
  for (;;) {
    size_t got = 0;
    const platform::IoStatus read = pty->Read(buffer.data(), buffer.size(), got, 1000);
    if (read == platform::IoStatus::kTimeout) continue;
    if (read != platform::IoStatus::kOk) {
      std::fprintf(stderr, "tarvex-pty-echo: the pseudo-terminal failed\n");
      return 1;
    }
    size_t sent = 0;
    while (sent < got) {
      size_t written = 0;
      pty->Write(buffer.data() + sent, got - sent, written, 1000);
      sent += written;
    }
  }
}
