// POSIX serial device: termios, non-blocking, exclusive.

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

#include "corvane/platform/serial_device.h"

namespace platform {

SerialDevice::~SerialDevice() = default;

namespace {

bool IsVanishErrno(int err) { return err == EIO || err == ENXIO || err == ENODEV; }

IoStatus FromErrno(int err) { return IsVanishErrno(err) ? IoStatus::kVanished : IoStatus::kError; }

speed_t SpeedFor(uint32_t baud) {
  switch (baud) {
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    case 460800:
      return B460800;
    case 500000:
      return B500000;
    case 921600:
      return B921600;
    case 1000000:
      return B1000000;
    case 1500000:
      return B1500000;
    case 2000000:
      return B2000000;
    case 3000000:
      return B3000000;
    case 4000000:
      return B4000000;
    default:
      return B0;
  }
}

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

bool IsBusyErrno(int err) { return err == EBUSY || err == EWOULDBLOCK; }

class PosixSerialDevice final : public SerialDevice {
 public:
  ~PosixSerialDevice() override { Close(); }

  bool Open(const std::string& path) override {
    if (fd_ >= 0) return false;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    // Exclusive like a COM port: TIOCEXCL refuses further opens (except to root), and the
    // advisory lock that serial tools share refuses them to everyone, root included.
    if (!::isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
      ::close(fd);
      return false;
    }
    fd_ = fd;
    return true;
  }

  void Close() override {
    if (fd_ < 0) return;
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
  }

  bool IsOpen() const override { return fd_ >= 0; }

  bool SetLine(const LineParams& params) override {
    termios tio{};
    if (fd_ < 0 || ::tcgetattr(fd_, &tio) != 0) return false;
    const speed_t speed = SpeedFor(params.baud);
    if (speed == B0) return false;
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= DataBitsFlag(params.dataBits);
    if (params.parity == Parity::kOdd) tio.c_cflag |= PARENB | PARODD;
    if (params.parity == Parity::kEven) tio.c_cflag |= PARENB;
    if (params.stopBits != StopBits::kOne) tio.c_cflag |= CSTOPB;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    return ::tcsetattr(fd_, TCSANOW, &tio) == 0;
  }

  bool SetBaud(uint32_t baud) override {
    termios tio{};
    const speed_t speed = SpeedFor(baud);
    if (fd_ < 0 || speed == B0 || ::tcgetattr(fd_, &tio) != 0) return false;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    return ::tcsetattr(fd_, TCSANOW, &tio) == 0;
  }

  bool SetDtr(bool on) override {
    if (fd_ < 0) return false;
    int bits = TIOCM_DTR;
    return ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) == 0;
  }

  bool Purge(bool rx, bool tx) override {
    if (fd_ < 0) return false;
    const int which = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
    return ::tcflush(fd_, which) == 0;
  }

  IoStatus Read(void* buffer, size_t max, size_t& got) override {
    got = 0;
    if (fd_ < 0) return IoStatus::kError;
    if (Cancelled()) return IoStatus::kCancelled;
    // The read comes first: a port with bytes queued, the case of a running transfer, costs one
    // system call. In raw mode a read of nothing answers 0, so only then is the port asked
    // whether it hung up.
    if (max > 0) {
      const IoStatus first = ReadQueued(buffer, max, got);
      if (got > 0 || first != IoStatus::kOk) return first;
    }
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) < 0) return IoStatus::kError;
    if (p.revents & (POLLERR | POLLNVAL | POLLHUP)) return IoStatus::kVanished;
    if (!(p.revents & POLLIN) || max == 0) return IoStatus::kOk;
    // Readable now: what came since the read, or, when it still yields nothing, a device gone.
    const IoStatus second = ReadQueued(buffer, max, got);
    return got == 0 && second == IoStatus::kOk ? IoStatus::kVanished : second;
  }

  IoStatus Write(const void* buffer, size_t length, int timeoutMs) override {
    if (fd_ < 0) return IoStatus::kError;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    size_t done = 0;
    while (done < length) {
      if (Cancelled()) return IoStatus::kCancelled;
      const ssize_t n = ::write(fd_, bytes + done, length - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) return FromErrno(errno);
      const IoStatus ready = WaitFor(POLLOUT, RemainingMs(deadline));
      if (ready != IoStatus::kOk) return ready;
    }
    return IoStatus::kOk;
  }

  IoStatus Drain(int timeoutMs) override {
    if (fd_ < 0) return IoStatus::kError;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      if (Cancelled()) return IoStatus::kCancelled;
      int queued = 0;
      if (::ioctl(fd_, TIOCOUTQ, &queued) != 0) return FromErrno(errno);
      if (queued == 0) return IoStatus::kOk;
      if (RemainingMs(deadline) == 0) return IoStatus::kTimeout;
      const IoStatus ready = WaitFor(POLLOUT, 1);
      if (ready != IoStatus::kOk && ready != IoStatus::kTimeout) return ready;
    }
  }

  IoStatus WaitReadable(int timeoutMs) override { return WaitFor(POLLIN, timeoutMs); }

 private:
  // One read of what is queued: kOk with `got` bytes (0 when nothing was), or how it failed.
  IoStatus ReadQueued(void* buffer, size_t max, size_t& got) {
    const ssize_t n = ::read(fd_, buffer, max);
    if (n > 0) got = static_cast<size_t>(n);
    if (n >= 0 || errno == EAGAIN || errno == EINTR) return IoStatus::kOk;
    return FromErrno(errno);
  }

  static tcflag_t DataBitsFlag(uint8_t bits) {
    switch (bits) {
      case 5:
        return CS5;
      case 6:
        return CS6;
      case 7:
        return CS7;
      default:
        return CS8;
    }
  }

  // The device and the run's cancellation are watched together, so that a long wait for an
  // answer ends as soon as the run is cancelled.
  IoStatus WaitFor(short events, int timeoutMs) {
    if (fd_ < 0) return IoStatus::kError;
    if (Cancelled()) return IoStatus::kCancelled;
    const intptr_t wake = cancellation_ != nullptr ? cancellation_->WakeHandle() : -1;
    pollfd watched[2] = {{fd_, events, 0}, {static_cast<int>(wake), POLLIN, 0}};
    const nfds_t count = wake >= 0 ? 2 : 1;
    const int r = ::poll(watched, count, timeoutMs);
    if (Cancelled()) return IoStatus::kCancelled;
    const pollfd& p = watched[0];
    if (r < 0) return errno == EINTR ? IoStatus::kTimeout : IoStatus::kError;
    if (r == 0) return IoStatus::kTimeout;
    if (p.revents == 0) return IoStatus::kTimeout;
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
      // Data still queued before a hang-up is delivered first.
      if ((events & POLLIN) && (p.revents & POLLIN)) return IoStatus::kOk;
      return IoStatus::kVanished;
    }
    return IoStatus::kOk;
  }

  int fd_ = -1;
};

}  // namespace

std::unique_ptr<SerialDevice> SerialDevice::Create() {
  return std::make_unique<PosixSerialDevice>();
}

// The open that holds a port set TIOCEXCL (a further open fails with EBUSY, except to root) and
// took the advisory lock (refused to everyone); the look takes the lock for an instant only.
bool HeldElsewhere(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return IsBusyErrno(errno);
  const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && IsBusyErrno(errno);
  ::close(fd);
  return held;
}

}  // namespace platform
