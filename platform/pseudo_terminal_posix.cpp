// POSIX pseudo-terminal for simulated phones.

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <system_error>

#include "corvane/platform/pseudo_terminal.h"

namespace platform {

PseudoTerminal::~PseudoTerminal() = default;

namespace {

class PosixPseudoTerminal final : public PseudoTerminal {
 public:
  PosixPseudoTerminal(int controller, int peerHold, std::string path)
      : controller_(controller), peerHold_(peerHold), path_(std::move(path)) {}

  ~PosixPseudoTerminal() override { Close(); }

  const std::string& Path() const override { return path_; }

  IoStatus Read(void* buffer, size_t max, size_t& got, int timeoutMs) override {
    got = 0;
    const int fd = controller_.load();
    if (fd < 0) return IoStatus::kVanished;
    pollfd p{fd, POLLIN, 0};
    const int r = ::poll(&p, 1, timeoutMs);
    if (r == 0 || (r < 0 && errno == EINTR)) return IoStatus::kTimeout;
    if (r < 0 || (p.revents & (POLLERR | POLLNVAL))) return IoStatus::kError;
    const ssize_t n = ::read(fd, buffer, max);
    if (n > 0) {
      got = static_cast<size_t>(n);
      return IoStatus::kOk;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return IoStatus::kTimeout;
    return IoStatus::kError;
  }

  IoStatus Write(const void* buffer, size_t length, size_t& written, int timeoutMs) override {
    written = 0;
    const int fd = controller_.load();
    if (fd < 0) return IoStatus::kVanished;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    size_t& done = written;
    while (done < length) {
      const ssize_t n = ::write(fd, bytes + done, length - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) return IoStatus::kError;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return IoStatus::kTimeout;
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, static_cast<int>(left.count()));
    }
    return IoStatus::kOk;
  }

  void Close() override {
    const int fd = controller_.exchange(-1);
    if (fd >= 0) ::close(fd);
    const int hold = peerHold_.exchange(-1);
    if (hold >= 0) ::close(hold);
  }

  bool IsOpen() const override { return controller_.load() >= 0; }

  // The terminal hands written bytes to the host side a moment later; a poll of the host side
  // makes it finish handing over first, so that the count that follows misses none.
  size_t PendingForHost() const override {
    const int hold = peerHold_.load();
    if (hold < 0) return 0;
    pollfd p{hold, POLLIN, 0};
    ::poll(&p, 1, 0);
    int queued = 0;
    if (::ioctl(hold, FIONREAD, &queued) != 0 || queued < 0) return 0;
    return static_cast<size_t>(queued);
  }

 private:
  std::atomic<int> controller_;
  // The phone keeps one descriptor of the host side open itself, so that the host closing and
  // re-opening its port does not hang up the line (as it does not for a real USB device).
  std::atomic<int> peerHold_;
  std::string path_;
};

bool MakeRaw(int fd) {
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) return false;
  ::cfmakeraw(&tio);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

std::unique_ptr<PseudoTerminal> Fail(std::string* error, const char* what, int fd1 = -1,
                                     int fd2 = -1) {
  if (error) *error = std::string(what) + ": " + std::generic_category().message(errno);
  if (fd1 >= 0) ::close(fd1);
  if (fd2 >= 0) ::close(fd2);
  return nullptr;
}

}  // namespace

std::string PseudoTerminal::Unavailable() { return {}; }

std::unique_ptr<PseudoTerminal> PseudoTerminal::Create(std::string* error) {
  const int controller = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (controller < 0) return Fail(error, "posix_openpt");
  if (::grantpt(controller) != 0 || ::unlockpt(controller) != 0) {
    return Fail(error, "grantpt/unlockpt", controller);
  }
  char name[128] = {};
  if (::ptsname_r(controller, name, sizeof name) != 0) return Fail(error, "ptsname", controller);
  const int hold = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (hold < 0) return Fail(error, "open pty", controller);
  // Raw from the start: an echoing line discipline would hand the phone its own answers back.
  if (!MakeRaw(hold)) return Fail(error, "tcsetattr", controller, hold);
  return std::make_unique<PosixPseudoTerminal>(controller, hold, name);
}

}  // namespace platform
