// Win32 serial device: a COM port opened exclusively for overlapped I/O, raw 8N1-style lines
// without flow control.
//
// Waiting for input does not use WaitCommEvent: some drivers (and Wine on a pseudo-terminal)
// never signal it. A pending one-byte read does the waiting instead: it completes as soon as a
// byte arrives, and that byte is kept ahead of the queue for the next Read. The port's time-outs
// are all zero ("wait until the requested bytes are there"), since reads only ever ask for bytes
// that are queued already or for that one look-ahead byte; the waits bound themselves.

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <string>

#include "corvane/platform/serial_device.h"
#include "platform/utf16_win32.h"

namespace platform {

SerialDevice::~SerialDevice() = default;

namespace {

using Steady = std::chrono::steady_clock;

// How long the completion of a read of bytes already queued, or of an operation being cancelled,
// is waited for before it is taken as lost.
constexpr DWORD kSettleMs = 1000;
// Between two looks at the transmit queue while draining.
constexpr DWORD kDrainStepMs = 1;

// The errors of a device that went away (unplugged, driver re-enumerated) rather than of a call.
bool IsVanishError(DWORD err) {
  return err == ERROR_ACCESS_DENIED || err == ERROR_GEN_FAILURE || err == ERROR_BAD_COMMAND ||
         err == ERROR_DEVICE_REMOVED || err == ERROR_DEVICE_NOT_CONNECTED ||
         err == ERROR_OPERATION_ABORTED;
}

IoStatus FromError(DWORD err) {
  return IsVanishError(err) ? IoStatus::kVanished : IoStatus::kError;
}

bool IsKnownBaud(uint32_t baud) {
  switch (baud) {
    case 9600:
    case 19200:
    case 38400:
    case 57600:
    case 115200:
    case 230400:
    case 460800:
    case 500000:
    case 921600:
    case 1000000:
    case 1500000:
    case 2000000:
    case 3000000:
    case 4000000:
      return true;
    default:
      return false;
  }
}

bool IsComName(const std::string& name) {
  if (name.size() < 4 || name.size() > 6) return false;
  for (size_t i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return false;
  }
  return std::all_of(name.begin() + 3, name.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

// "COM12" and "\\.\COM12" both name the device namespace's COM12: COM10 and above cannot be
// opened by their bare names.
std::wstring DevicePath(const std::string& path) {
  return Utf16(IsComName(path) ? "\\\\.\\" + path : path);
}

// The name of what an open of `path` holds beside the port: the same for both spellings of a
// port. Drivers refuse a second open of a COM port themselves, but not all do (Wine's does not),
// so the programs keep to one open of a port through this within the user's session (a name in
// the global namespace needs a privilege standard users lack); the system ends it with the
// process that held it.
std::wstring ClaimName(const std::string& path) {
  std::string port = path.rfind("\\\\.\\", 0) == 0 ? path.substr(4) : path;
  for (char& c : port) {
    if (c == '\\' || c == '/') c = '_';
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return Utf16("Local\\corvane-serial-" + port);
}

// False when the port is claimed already, by this process or another. A claim the system would
// not make (`claim` null) leaves the port's exclusivity to its driver.
bool Claim(const std::string& path, HANDLE& claim) {
  const std::wstring name = ClaimName(path);
  claim = name.empty() ? nullptr : ::CreateMutexW(nullptr, FALSE, name.c_str());
  if (claim != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(claim);
    claim = nullptr;
    return false;
  }
  return true;
}

bool IsClaimed(const std::string& path) {
  const std::wstring name = ClaimName(path);
  HANDLE claim = name.empty() ? nullptr : ::OpenMutexW(SYNCHRONIZE, FALSE, name.c_str());
  if (claim == nullptr) return ::GetLastError() == ERROR_ACCESS_DENIED;
  ::CloseHandle(claim);
  return true;
}

HANDLE OpenExclusive(const std::string& path) {
  const std::wstring device = DevicePath(path);
  if (device.empty()) {
    ::SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  return ::CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
}

int RemainingMs(Steady::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Steady::now()).count();
  return left < 0 ? 0 : static_cast<int>(std::min<long long>(left, INT_MAX));
}

BYTE ParityOf(Parity parity) {
  switch (parity) {
    case Parity::kOdd:
      return ODDPARITY;
    case Parity::kEven:
      return EVENPARITY;
    case Parity::kMark:
      return MARKPARITY;
    case Parity::kSpace:
      return SPACEPARITY;
    case Parity::kNone:
      break;
  }
  return NOPARITY;
}

// One and a half stop bits exist only beside five data bits; elsewhere it means two, as termios
// has it.
BYTE StopBitsOf(StopBits stop, BYTE dataBits) {
  if (stop == StopBits::kOne) return ONESTOPBIT;
  return stop == StopBits::kOneAndHalf && dataBits == 5 ? ONE5STOPBITS : TWOSTOPBITS;
}

void MakeRaw(DCB& dcb, const LineParams& params) {
  dcb.BaudRate = params.baud;
  dcb.ByteSize = params.dataBits >= 5 && params.dataBits <= 8 ? params.dataBits : 8;
  dcb.Parity = ParityOf(params.parity);
  dcb.StopBits = StopBitsOf(params.stopBits, dcb.ByteSize);
  dcb.fBinary = TRUE;
  dcb.fParity = params.parity != Parity::kNone;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fTXContinueOnXoff = TRUE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  // Otherwise a framing error would fail every call until the error is cleared.
  dcb.fAbortOnError = FALSE;
}

class Win32SerialDevice final : public SerialDevice {
 public:
  ~Win32SerialDevice() override { Close(); }

  bool Open(const std::string& path) override;
  void Close() override;
  bool IsOpen() const override { return port_ != INVALID_HANDLE_VALUE; }
  bool SetLine(const LineParams& params) override;
  bool SetBaud(uint32_t baud) override;
  bool SetDtr(bool on) override;
  bool Purge(bool rx, bool tx) override;
  IoStatus Read(void* buffer, size_t max, size_t& got) override;
  IoStatus Write(const void* buffer, size_t length, int timeoutMs) override;
  IoStatus Drain(int timeoutMs) override;
  IoStatus WaitReadable(int timeoutMs) override;

 private:
  enum class Woken { kIo, kCancelled, kTimeout, kFailed };

  // What the port holds: kOk with the counts, or how it failed.
  IoStatus Queued(DWORD& in, DWORD& out);
  IoStatus ReadQueued(unsigned char* buffer, DWORD count, size_t& got);
  IoStatus WriteChunk(const unsigned char* bytes, DWORD count, Steady::time_point deadline,
                      DWORD& written);
  // The look-ahead read: started, collected once it completed, or ended.
  IoStatus StartLookAhead();
  IoStatus CollectLookAhead();
  void EndLookAhead();
  // Waits for `io` or the cancellation, whichever comes first, at most `ms`.
  Woken WaitFor(HANDLE io, DWORD ms) const;
  Woken WaitForCancellation(DWORD ms) const;
  // Ends an overlapped operation that is still pending and waits until the system let go of it.
  void Abandon(OVERLAPPED& overlapped);
  bool ApplyTimeouts();

  HANDLE port_ = INVALID_HANDLE_VALUE;
  HANDLE claim_ = nullptr;
  OVERLAPPED readIo_{};
  OVERLAPPED writeIo_{};
  bool lookAheadPending_ = false;
  bool lookAheadHeld_ = false;
  unsigned char lookAhead_ = 0;
};

bool Win32SerialDevice::Open(const std::string& path) {
  if (IsOpen()) return false;
  HANDLE claim = nullptr;
  if (!Claim(path, claim)) return false;
  HANDLE port = OpenExclusive(path);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  // A file or any other device that is not a serial port has no line state.
  if (port == INVALID_HANDLE_VALUE || !::GetCommState(port, &dcb)) {
    if (port != INVALID_HANDLE_VALUE) ::CloseHandle(port);
    if (claim != nullptr) ::CloseHandle(claim);
    return false;
  }
  claim_ = claim;
  readIo_ = OVERLAPPED{};
  writeIo_ = OVERLAPPED{};
  readIo_.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  writeIo_.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  port_ = port;
  // Large queues keep a fast line from overrunning the driver between two reads.
  ::SetupComm(port_, 1 << 16, 1 << 16);
  if (readIo_.hEvent == nullptr || writeIo_.hEvent == nullptr || !ApplyTimeouts()) {
    Close();
    return false;
  }
  return true;
}

void Win32SerialDevice::Close() {
  if (!IsOpen()) return;
  EndLookAhead();
  ::CloseHandle(port_);
  port_ = INVALID_HANDLE_VALUE;
  if (claim_ != nullptr) ::CloseHandle(claim_);
  claim_ = nullptr;
  for (OVERLAPPED* io : {&readIo_, &writeIo_}) {
    if (io->hEvent != nullptr) ::CloseHandle(io->hEvent);
    io->hEvent = nullptr;
  }
  lookAheadHeld_ = false;
}

bool Win32SerialDevice::ApplyTimeouts() {
  COMMTIMEOUTS timeouts{};  // all zero: a read waits for the bytes it asked for
  return ::SetCommTimeouts(port_, &timeouts) != 0;
}

bool Win32SerialDevice::SetLine(const LineParams& params) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!IsOpen() || !IsKnownBaud(params.baud) || !::GetCommState(port_, &dcb)) return false;
  MakeRaw(dcb, params);
  return ::SetCommState(port_, &dcb) != 0 && ApplyTimeouts();
}

bool Win32SerialDevice::SetBaud(uint32_t baud) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!IsOpen() || !IsKnownBaud(baud) || !::GetCommState(port_, &dcb)) return false;
  dcb.BaudRate = baud;
  return ::SetCommState(port_, &dcb) != 0;
}

bool Win32SerialDevice::SetDtr(bool on) {
  return IsOpen() && ::EscapeCommFunction(port_, on ? SETDTR : CLRDTR) != 0;
}

bool Win32SerialDevice::Purge(bool rx, bool tx) {
  if (!IsOpen()) return false;
  DWORD flags = 0;
  if (rx) {
    // The byte read ahead was queued input too.
    EndLookAhead();
    lookAheadHeld_ = false;
    flags |= PURGE_RXABORT | PURGE_RXCLEAR;
  }
  if (tx) flags |= PURGE_TXABORT | PURGE_TXCLEAR;
  return flags == 0 || ::PurgeComm(port_, flags) != 0;
}

IoStatus Win32SerialDevice::Queued(DWORD& in, DWORD& out) {
  COMSTAT stat{};
  DWORD errors = 0;
  if (!::ClearCommError(port_, &errors, &stat)) return FromError(::GetLastError());
  in = stat.cbInQue;
  out = stat.cbOutQue;
  return IoStatus::kOk;
}

IoStatus Win32SerialDevice::Read(void* buffer, size_t max, size_t& got) {
  got = 0;
  if (!IsOpen()) return IoStatus::kError;
  if (Cancelled()) return IoStatus::kCancelled;
  if (max == 0) return IoStatus::kOk;
  auto* bytes = static_cast<unsigned char*>(buffer);
  if (lookAheadPending_) {
    const IoStatus collected = CollectLookAhead();
    // Still pending: nothing came. The bytes behind it are not read before it completes.
    if (collected != IoStatus::kOk || lookAheadPending_) return collected;
  }
  if (lookAheadHeld_) {
    bytes[got++] = lookAhead_;
    lookAheadHeld_ = false;
  }
  DWORD in = 0;
  DWORD out = 0;
  const IoStatus status = Queued(in, out);
  if (status != IoStatus::kOk) return got > 0 ? IoStatus::kOk : status;
  const DWORD count = static_cast<DWORD>(std::min<size_t>(max - got, in));
  if (count == 0) return IoStatus::kOk;
  size_t more = 0;
  const IoStatus read = ReadQueued(bytes + got, count, more);
  got += more;
  return got > 0 ? IoStatus::kOk : read;
}

// The bytes are queued, so the read completes at once; it is still waited for a little, in case
// the driver hands them over asynchronously.
IoStatus Win32SerialDevice::ReadQueued(unsigned char* buffer, DWORD count, size_t& got) {
  DWORD done = 0;
  if (!::ReadFile(port_, buffer, count, nullptr, &readIo_)) {
    const DWORD err = ::GetLastError();
    if (err != ERROR_IO_PENDING) return FromError(err);
    if (::WaitForSingleObject(readIo_.hEvent, kSettleMs) != WAIT_OBJECT_0) Abandon(readIo_);
  }
  if (!::GetOverlappedResult(port_, &readIo_, &done, FALSE)) {
    const DWORD err = ::GetLastError();
    got = done;
    return err == ERROR_OPERATION_ABORTED || err == ERROR_TIMEOUT ? IoStatus::kOk : FromError(err);
  }
  got = done;
  return IoStatus::kOk;
}

IoStatus Win32SerialDevice::StartLookAhead() {
  if (lookAheadPending_ || lookAheadHeld_) return IoStatus::kOk;
  DWORD done = 0;
  if (::ReadFile(port_, &lookAhead_, 1, &done, &readIo_)) {
    lookAheadHeld_ = done == 1;
    return IoStatus::kOk;
  }
  const DWORD err = ::GetLastError();
  if (err == ERROR_IO_PENDING) {
    lookAheadPending_ = true;
    return IoStatus::kOk;
  }
  return err == ERROR_TIMEOUT ? IoStatus::kOk : FromError(err);
}

// kOk with the byte held, or kOk and still pending, or how the read failed.
IoStatus Win32SerialDevice::CollectLookAhead() {
  DWORD done = 0;
  if (::GetOverlappedResult(port_, &readIo_, &done, FALSE)) {
    lookAheadPending_ = false;
    lookAheadHeld_ = done == 1;
    return IoStatus::kOk;
  }
  const DWORD err = ::GetLastError();
  if (err == ERROR_IO_INCOMPLETE) return IoStatus::kOk;
  lookAheadPending_ = false;
  // A read that ran into a time-out with nothing read ends this way on some drivers.
  return err == ERROR_TIMEOUT ? IoStatus::kOk : FromError(err);
}

void Win32SerialDevice::EndLookAhead() {
  if (!lookAheadPending_) return;
  Abandon(readIo_);
  DWORD done = 0;
  // A byte that arrived as the read was being cancelled is kept.
  lookAheadHeld_ = ::GetOverlappedResult(port_, &readIo_, &done, FALSE) && done == 1;
  lookAheadPending_ = false;
}

void Win32SerialDevice::Abandon(OVERLAPPED& overlapped) {
  ::CancelIoEx(port_, &overlapped);
  ::WaitForSingleObject(overlapped.hEvent, kSettleMs);
}

IoStatus Win32SerialDevice::WaitReadable(int timeoutMs) {
  if (!IsOpen()) return IoStatus::kError;
  const auto deadline = Steady::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  for (;;) {
    if (Cancelled()) return IoStatus::kCancelled;
    if (lookAheadHeld_) return IoStatus::kOk;
    if (!lookAheadPending_) {
      DWORD in = 0;
      DWORD out = 0;
      const IoStatus queued = Queued(in, out);
      if (queued != IoStatus::kOk || in > 0) return queued;
      const IoStatus started = StartLookAhead();
      if (started != IoStatus::kOk) return started;
      if (!lookAheadPending_) continue;
    }
    switch (WaitFor(readIo_.hEvent, static_cast<DWORD>(RemainingMs(deadline)))) {
      case Woken::kIo:
        if (const IoStatus collected = CollectLookAhead(); collected != IoStatus::kOk) {
          return collected;
        }
        break;
      case Woken::kCancelled:
        return IoStatus::kCancelled;
      case Woken::kTimeout:
        return IoStatus::kTimeout;
      case Woken::kFailed:
        return IoStatus::kError;
    }
  }
}

IoStatus Win32SerialDevice::Write(const void* buffer, size_t length, int timeoutMs) {
  if (!IsOpen()) return IoStatus::kError;
  const auto deadline = Steady::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  size_t done = 0;
  while (done < length) {
    if (Cancelled()) return IoStatus::kCancelled;
    const DWORD count = static_cast<DWORD>(std::min<size_t>(length - done, 1u << 30));
    DWORD written = 0;
    const IoStatus status = WriteChunk(bytes + done, count, deadline, written);
    if (status != IoStatus::kOk) return status;
    done += written;
    if (written == 0 && RemainingMs(deadline) == 0) return IoStatus::kTimeout;
  }
  return IoStatus::kOk;
}

IoStatus Win32SerialDevice::WriteChunk(const unsigned char* bytes, DWORD count,
                                       Steady::time_point deadline, DWORD& written) {
  if (!::WriteFile(port_, bytes, count, nullptr, &writeIo_)) {
    const DWORD err = ::GetLastError();
    if (err != ERROR_IO_PENDING) return FromError(err);
    const Woken woken = WaitFor(writeIo_.hEvent, static_cast<DWORD>(RemainingMs(deadline)));
    if (woken != Woken::kIo) {
      Abandon(writeIo_);
      if (woken == Woken::kCancelled) return IoStatus::kCancelled;
      return woken == Woken::kTimeout ? IoStatus::kTimeout : IoStatus::kError;
    }
  }
  if (!::GetOverlappedResult(port_, &writeIo_, &written, FALSE)) {
    const DWORD err = ::GetLastError();
    return err == ERROR_TIMEOUT ? IoStatus::kOk : FromError(err);
  }
  return IoStatus::kOk;
}

IoStatus Win32SerialDevice::Drain(int timeoutMs) {
  if (!IsOpen()) return IoStatus::kError;
  const auto deadline = Steady::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  for (;;) {
    if (Cancelled()) return IoStatus::kCancelled;
    DWORD in = 0;
    DWORD out = 0;
    const IoStatus queued = Queued(in, out);
    if (queued != IoStatus::kOk || out == 0) return queued;
    if (RemainingMs(deadline) == 0) return IoStatus::kTimeout;
    if (WaitForCancellation(kDrainStepMs) == Woken::kCancelled) return IoStatus::kCancelled;
  }
}

Win32SerialDevice::Woken Win32SerialDevice::WaitFor(HANDLE io, DWORD ms) const {
  const intptr_t wake = cancellation_ != nullptr ? cancellation_->WakeHandle() : -1;
  const HANDLE watched[2] = {io, reinterpret_cast<HANDLE>(wake)};
  const DWORD count = wake != -1 ? 2 : 1;
  // Without an event to watch, the cancellation is looked at between short waits.
  const DWORD step = wake != -1 || cancellation_ == nullptr ? ms : std::min<DWORD>(ms, 5);
  const auto deadline = Steady::now() + std::chrono::milliseconds(ms);
  for (;;) {
    const DWORD r = ::WaitForMultipleObjects(count, watched, FALSE, step);
    if (r == WAIT_OBJECT_0) return Woken::kIo;
    if (r == WAIT_OBJECT_0 + 1 || Cancelled()) return Woken::kCancelled;
    if (r != WAIT_TIMEOUT) return Woken::kFailed;
    if (RemainingMs(deadline) == 0) return Woken::kTimeout;
  }
}

Win32SerialDevice::Woken Win32SerialDevice::WaitForCancellation(DWORD ms) const {
  const intptr_t wake = cancellation_ != nullptr ? cancellation_->WakeHandle() : -1;
  if (wake == -1) {
    ::Sleep(ms);
  } else if (::WaitForSingleObject(reinterpret_cast<HANDLE>(wake), ms) == WAIT_OBJECT_0) {
    return Woken::kCancelled;
  }
  return Cancelled() ? Woken::kCancelled : Woken::kTimeout;
}

}  // namespace

std::unique_ptr<SerialDevice> SerialDevice::Create() {
  return std::make_unique<Win32SerialDevice>();
}

// An open by these programs holds the port's claim; any other open makes CreateFile refuse with
// access denied (or a sharing violation where the driver checks sharing itself). The look holds
// the port for an instant only.
bool HeldElsewhere(const std::string& path) {
  if (IsClaimed(path)) return true;
  HANDLE port = OpenExclusive(path);
  if (port == INVALID_HANDLE_VALUE) {
    const DWORD err = ::GetLastError();
    return err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION;
  }
  ::CloseHandle(port);
  return false;
}

}  // namespace platform
