#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "corvane/platform/pseudo_terminal.h"
#include "sim/personality.h"
#include "sim/phone_frame_reader.h"

namespace phonesim {

enum class FaultKind {
  kRefuse,           // answer with the personality's refusal
  kSilent,           // do not answer
  kBadCheck,         // answer with a corrupted check sequence
  kLate,             // answer after `delayMs` clock milliseconds
  kGarbage,          // send `garbageBytes` bytes that never form a frame instead of the answer
  kVanish,           // send `afterBytes` bytes of the answer, then leave the link
  kVanishReceiving,  // leave the link after receiving `afterBytes` more bytes
};

// A fault armed on the phone. It hits requests whose command byte is `command` (any when -1),
// after letting `skip` of them pass, `times` times.
struct Fault {
  FaultKind kind = FaultKind::kSilent;
  int command = -1;
  unsigned skip = 0;
  unsigned times = 1;
  uint32_t delayMs = 0;
  size_t garbageBytes = 64;
  size_t afterBytes = 0;
};

struct TranscriptEntry {
  enum class Direction { kIn, kOut };
  Direction direction = Direction::kIn;
  bool framed = true;
  std::vector<uint8_t> body;  // request body or reply contents
  size_t payloadLength = 0;   // raw payload that followed a request header
  bool checkOk = true;
  std::string note;  // a fault that acted, for instance "fault: silent"
};

// One turn of a conversation as the phone saw it: what the host sent since the phone's previous
// answer, exactly as received (wake-up bytes, unanswered requests and all), and how many bytes
// the phone sent back. Replaying the turns drives a fresh phone through the same exchange.
struct Turn {
  std::vector<uint8_t> request;
  uint64_t answerBytes = 0;
};

struct PhoneStats {
  uint64_t requests = 0;
  uint64_t bytesIn = 0;
  uint64_t bytesOut = 0;
  // Time spent between finishing an answer and the first byte of the next request.
  uint64_t waitingForHostUs = 0;
  // The same by what the answered exchange was part of (Personality::Channel), in real time.
  std::map<std::string, uint64_t> waitingByChannelUs;
};

// How a phone's port presents itself to port discovery. With a description, the phone publishes
// its port (and withdraws it when it leaves the link), so that discovery finds it like a USB
// phone; without one it stays private to whoever holds its path or number.
struct PortIdentity {
  std::string description;
  uint16_t vendor = 0;
  uint16_t product = 0;
  int interfaceNumber = -1;
  std::string usbPath{};    // the USB socket it is plugged into ("" unknown)
  std::string usbSerial{};  // its USB serial number ("" none)
};

// Where a simulated phone is plugged in. Every phone gets a socket and a serial number of its
// own, unlike those of any other simulated phone of any process, as real phones on a hub do: the
// host tells a re-enumerated phone's new port from another phone's by them.
struct UsbLocation {
  std::string path;    // "9-<process id>.<n>": bus 9, a hub port per process, a socket per phone
  std::string serial;  // "SIM<process id>N<n>"
};
UsbLocation NextUsbLocation();
// `identity` plugged in at `usb`.
PortIdentity PluggedIn(PortIdentity identity, const UsbLocation& usb);

// A simulated phone on a real pseudo-terminal: the host opens Path() (bound to PortNumber() in
// the port table) as it opens a USB serial port. The phone runs on its own thread until it is
// stopped, leaves the link, or is destroyed.
class Phone {
 public:
  explicit Phone(std::unique_ptr<Personality> personality, PortIdentity identity = {});
  ~Phone();
  Phone(const Phone&) = delete;
  Phone& operator=(const Phone&) = delete;

  const std::string& Path() const { return path_; }
  uint8_t PortNumber() const { return port_; }

  void InjectFault(const Fault& fault);
  void ClearFaults();

  std::vector<TranscriptEntry> Transcript() const;
  std::vector<TranscriptEntry> Requests() const;  // the received entries only
  PhoneStats Stats() const;

  // Every byte received from the host, wake-up bytes and all, kept from the call of
  // KeepRawInput on (off by default: a download would keep all it sent). TakeRawInput hands
  // over what was kept so far and starts afresh.
  void KeepRawInput();
  std::vector<uint8_t> TakeRawInput();
  size_t RawInputSize() const;

  // The conversation as turns, kept from the call of KeepConversation on (off by default, for
  // the same reason). TakeConversation hands over the turns so far, the bytes received since the
  // last answer as a turn without an answer, and starts afresh.
  void KeepConversation();
  std::vector<Turn> TakeConversation();

  // Reads at most `chunk` bytes at a time, `pauseMs` real milliseconds apart, as a slow adapter
  // does: what the host sent meanwhile waits in the terminal.
  void ReadSlowly(size_t chunk, uint32_t pauseMs);

  // Runs `fn` on the personality while no request is being handled.
  void WithPersonality(const std::function<void(Personality&)>& fn);

  // Leaves the link now: the host's port vanishes.
  void Vanish();
  bool Vanished() const { return !pty_->IsOpen(); }

  // Stops the phone's thread (the link stays up but nobody answers).
  void Stop();

  // Called on the phone's thread right after the phone left the link by itself (an answer that
  // leaves, or a vanish fault). Set it before the phone can leave.
  void SetOnLeave(std::function<void()> onLeave);

 private:
  void Run();
  void Handle(const Packet& request);
  Reply ApplyFault(const Packet& request, Reply reply, std::string& note, size_t& vanishAt);
  bool Send(const Reply& reply, bool corruptCheck, size_t vanishAt);
  bool WriteAll(const uint8_t* data, size_t length);
  void LeaveLink();
  void CloseLink();
  void Record(TranscriptEntry entry);
  void CloseTurnIfAnswered(uint64_t bytesOutBefore);

  std::unique_ptr<platform::PseudoTerminal> pty_;
  std::unique_ptr<Personality> personality_;
  FrameReader reader_;
  std::string path_;
  uint8_t port_ = 0;
  PortIdentity identity_;
  std::function<void()> onLeave_;

  mutable std::mutex lock_;  // guards everything below and every call of the personality
  std::vector<Fault> faults_;
  std::vector<TranscriptEntry> transcript_;
  PhoneStats stats_;
  std::string lastChannel_;  // of the request answered last (Personality::Channel)
  bool keepRaw_ = false;
  std::vector<uint8_t> rawInput_;
  bool keepConversation_ = false;
  std::vector<Turn> turns_;
  std::vector<uint8_t> turnRequest_;  // received since the last answer
  size_t receiveBudget_ = 0;          // kVanishReceiving: bytes still to take, 0 = none armed
  bool receiveBudgetArmed_ = false;

  // ReadSlowly: 0 reads whatever is there.
  std::atomic<size_t> readChunk_{0};
  std::atomic<uint32_t> readPauseMs_{0};

  std::atomic<bool> stop_{false};
  std::atomic<bool> vanishRequested_{false};
  std::atomic<bool> threadDone_{false};
  std::thread thread_;
};

}  // namespace phonesim
