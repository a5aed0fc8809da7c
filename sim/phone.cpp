#include "sim/phone.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <utility>

#include "corvane/platform/clock.h"
#include "corvane/platform/port_table.h"
#include "corvane/platform/process.h"
#include "corvane/ports/published_ports.h"
#include "corvane/protocol/hdlc.h"

namespace phonesim {
namespace {

using Clock = std::chrono::steady_clock;
using platform::IoStatus;

constexpr int kReadSliceMs = 20;
constexpr int kWriteSliceMs = 50;
constexpr int kHostGoneMs = 30000;

uint64_t MicrosSince(Clock::time_point t) {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t).count());
}

void PutEscaped(uint8_t b, std::vector<uint8_t>& out) {
  if (b == hdlc::kFlag || b == hdlc::kEscape) {
    out.push_back(hdlc::kEscape);
    out.push_back(static_cast<uint8_t>(b ^ hdlc::kEscapeXor));
  } else {
    out.push_back(b);
  }
}

// A phone frames its answers as "7E contents FCS 7E"; a faulty one gets the FCS wrong.
std::vector<uint8_t> FrameBytes(const std::vector<uint8_t>& data, bool corruptCheck) {
  uint16_t fcs = hdlc::FrameCheck(data.data(), data.size());
  if (corruptCheck) fcs ^= 0x0101;
  std::vector<uint8_t> out;
  out.reserve(2 * data.size() + 6);
  out.push_back(hdlc::kFlag);
  for (uint8_t b : data) PutEscaped(b, out);
  PutEscaped(static_cast<uint8_t>(fcs & 0xFF), out);
  PutEscaped(static_cast<uint8_t>(fcs >> 8), out);
  out.push_back(hdlc::kFlag);
  return out;
}

// Noise that never contains a flag, so it can never complete a frame.
std::vector<uint8_t> Garbage(size_t length) {
  std::vector<uint8_t> out(length);
  uint32_t x = 0x2545F491;
  for (uint8_t& b : out) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(x >> 24);
    if (b == hdlc::kFlag) b = 0x55;
  }
  return out;
}

const char* FaultName(FaultKind kind) {
  switch (kind) {
    case FaultKind::kRefuse:
      return "fault: refuse";
    case FaultKind::kSilent:
      return "fault: silent";
    case FaultKind::kBadCheck:
      return "fault: bad check";
    case FaultKind::kLate:
      return "fault: late";
    case FaultKind::kGarbage:
      return "fault: garbage";
    case FaultKind::kVanish:
      return "fault: vanish";
    case FaultKind::kVanishReceiving:
      return "fault: vanish while receiving";
  }
  return "fault";
}

// Each appearance on a port has an address of its own, as a USB device gets one each time it
// enumerates: bus 9, then one unlike any other process's.
std::string NextUsbAddress() {
  static std::atomic<unsigned> appearances{0};
  return "9." + std::to_string(platform::ProcessId()) + "." + std::to_string(++appearances);
}

}  // namespace

UsbLocation NextUsbLocation() {
  static std::atomic<unsigned> next{0};
  const std::string pid = std::to_string(platform::ProcessId());
  const std::string n = std::to_string(++next);
  return {"9-" + pid + "." + n, "SIM" + pid + "N" + n};
}

PortIdentity PluggedIn(PortIdentity identity, const UsbLocation& usb) {
  identity.usbPath = usb.path;
  identity.usbSerial = usb.serial;
  return identity;
}

Phone::Phone(std::unique_ptr<Personality> personality, PortIdentity identity)
    : personality_(std::move(personality)), reader_(*personality_), identity_(std::move(identity)) {
  std::string error;
  pty_ = platform::PseudoTerminal::Create(&error);
  if (!pty_) throw std::runtime_error("phonesim: cannot create a pseudo-terminal: " + error);
  path_ = pty_->Path();
  port_ = platform::BindPort(path_);
  if (!identity_.description.empty()) {
    ports::PublishPort({path_, identity_.description, identity_.vendor, identity_.product,
                        identity_.interfaceNumber, identity_.usbPath, identity_.usbSerial,
                        NextUsbAddress()});
  }
  thread_ = std::thread([this] { Run(); });
}

Phone::~Phone() {
  Stop();
  CloseLink();
}

void Phone::SetOnLeave(std::function<void()> onLeave) {
  std::lock_guard<std::mutex> guard(lock_);
  onLeave_ = std::move(onLeave);
}

// The port disappears from discovery together with the device.
void Phone::CloseLink() {
  if (!identity_.description.empty()) ports::UnpublishPort(path_);
  pty_->Close();
}

void Phone::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void Phone::Vanish() {
  if (!thread_.joinable()) {
    CloseLink();
    return;
  }
  vanishRequested_ = true;
  // The phone's thread closes the link itself, so that no descriptor is closed under its feet.
  while (!threadDone_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  CloseLink();
}

void Phone::InjectFault(const Fault& fault) {
  std::lock_guard<std::mutex> guard(lock_);
  if (fault.kind == FaultKind::kVanishReceiving) {
    receiveBudget_ = fault.afterBytes;
    receiveBudgetArmed_ = true;
    return;
  }
  faults_.push_back(fault);
}

void Phone::ClearFaults() {
  std::lock_guard<std::mutex> guard(lock_);
  faults_.clear();
  receiveBudgetArmed_ = false;
}

std::vector<TranscriptEntry> Phone::Transcript() const {
  std::lock_guard<std::mutex> guard(lock_);
  return transcript_;
}

std::vector<TranscriptEntry> Phone::Requests() const {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<TranscriptEntry> out;
  for (const TranscriptEntry& e : transcript_) {
    if (e.direction == TranscriptEntry::Direction::kIn) out.push_back(e);
  }
  return out;
}

void Phone::KeepRawInput() {
  std::lock_guard<std::mutex> guard(lock_);
  keepRaw_ = true;
}

std::vector<uint8_t> Phone::TakeRawInput() {
  std::lock_guard<std::mutex> guard(lock_);
  return std::exchange(rawInput_, {});
}

size_t Phone::RawInputSize() const {
  std::lock_guard<std::mutex> guard(lock_);
  return rawInput_.size();
}

void Phone::KeepConversation() {
  std::lock_guard<std::mutex> guard(lock_);
  keepConversation_ = true;
}

std::vector<Turn> Phone::TakeConversation() {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<Turn> turns = std::exchange(turns_, {});
  if (!turnRequest_.empty()) turns.push_back({std::exchange(turnRequest_, {}), 0});
  return turns;
}

// A turn ends where the phone answers: whatever the chunk just handled made it send.
void Phone::CloseTurnIfAnswered(uint64_t bytesOutBefore) {
  std::lock_guard<std::mutex> guard(lock_);
  if (stats_.bytesOut == bytesOutBefore) return;
  turns_.push_back({std::exchange(turnRequest_, {}), stats_.bytesOut - bytesOutBefore});
}

PhoneStats Phone::Stats() const {
  std::lock_guard<std::mutex> guard(lock_);
  return stats_;
}

void Phone::ReadSlowly(size_t chunk, uint32_t pauseMs) {
  readPauseMs_ = pauseMs;
  readChunk_ = chunk;
}

void Phone::WithPersonality(const std::function<void(Personality&)>& fn) {
  std::lock_guard<std::mutex> guard(lock_);
  fn(*personality_);
}

void Phone::Record(TranscriptEntry entry) { transcript_.push_back(std::move(entry)); }

void Phone::Run() {
  std::vector<uint8_t> buffer(size_t{64} * 1024);
  std::vector<Packet> packets;
  Clock::time_point answeredAt{};
  bool waitingForHost = false;
  while (!stop_ && !vanishRequested_) {
    size_t got = 0;
    const size_t chunk = readChunk_;
    const size_t want = chunk > 0 ? std::min(chunk, buffer.size()) : buffer.size();
    const IoStatus status = pty_->Read(buffer.data(), want, got, kReadSliceMs);
    if (status == IoStatus::kTimeout) continue;
    if (status != IoStatus::kOk) break;
    if (chunk > 0) std::this_thread::sleep_for(std::chrono::milliseconds(readPauseMs_.load()));
    bool vanish = false;
    bool conversing = false;
    uint64_t bytesOutBefore = 0;
    packets.clear();
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (waitingForHost) {
        const uint64_t waited = MicrosSince(answeredAt);
        stats_.waitingForHostUs += waited;
        stats_.waitingByChannelUs[lastChannel_] += waited;
      }
      waitingForHost = false;
      if (receiveBudgetArmed_) {
        vanish = got >= receiveBudget_;
        got = vanish ? receiveBudget_ : got;
        receiveBudget_ -= got;
      }
      stats_.bytesIn += got;
      if (keepRaw_) rawInput_.insert(rawInput_.end(), buffer.data(), buffer.data() + got);
      conversing = keepConversation_;
      if (conversing) {
        turnRequest_.insert(turnRequest_.end(), buffer.data(), buffer.data() + got);
        bytesOutBefore = stats_.bytesOut;
      }
      reader_.Feed(buffer.data(), got, packets);
      if (vanish) {
        Record({TranscriptEntry::Direction::kOut,
                false,
                {},
                0,
                true,
                FaultName(FaultKind::kVanishReceiving)});
      }
    }
    if (vanish) break;
    bool left = false;
    for (const Packet& p : packets) {
      Handle(p);
      if (!pty_->IsOpen()) {
        left = true;
        break;
      }
    }
    if (conversing) CloseTurnIfAnswered(bytesOutBefore);
    if (left) break;
    if (!packets.empty()) {
      answeredAt = Clock::now();
      waitingForHost = true;
    }
  }
  // Stopped phones keep the link up; every other way out of the loop leaves it.
  const bool leftByItself = !stop_ && !vanishRequested_;
  if (!stop_) CloseLink();
  std::function<void()> onLeave;
  {
    std::lock_guard<std::mutex> guard(lock_);
    onLeave = onLeave_;
  }
  threadDone_ = true;
  if (leftByItself && onLeave) onLeave();
}

void Phone::Handle(const Packet& request) {
  Reply reply;
  std::string note;
  size_t vanishAt = SIZE_MAX;
  bool corrupt = false;
  uint32_t delayMs = 0;
  {
    std::lock_guard<std::mutex> guard(lock_);
    ++stats_.requests;
    Record({TranscriptEntry::Direction::kIn, request.framed, request.body, request.payload.size(),
            request.checkOk, ""});
    const Fault* fault = nullptr;
    Fault hit;
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
      if (it->command >= 0 && it->command != request.Command()) continue;
      if (it->skip > 0) {
        --it->skip;
        continue;
      }
      hit = *it;
      fault = &hit;
      if (--it->times == 0) faults_.erase(it);
      break;
    }
    lastChannel_ = personality_->Channel(request);
    if (fault == nullptr) {
      reply = personality_->Answer(request);
    } else {
      note = FaultName(fault->kind);
      switch (fault->kind) {
        case FaultKind::kRefuse:
          reply = personality_->Refusal(request);
          break;
        case FaultKind::kSilent:
          reply = Reply::None();
          break;
        case FaultKind::kGarbage:
          reply = Reply::Raw(Garbage(fault->garbageBytes));
          break;
        case FaultKind::kBadCheck:
          reply = personality_->Answer(request);
          corrupt = true;
          break;
        case FaultKind::kLate:
          reply = personality_->Answer(request);
          delayMs = fault->delayMs;
          break;
        case FaultKind::kVanish:
          reply = personality_->Answer(request);
          vanishAt = fault->afterBytes;
          break;
        case FaultKind::kVanishReceiving:
          break;  // armed on the receive side
      }
    }
    if (reply.kind != Reply::Kind::kNone || !note.empty()) {
      Record({TranscriptEntry::Direction::kOut, reply.kind == Reply::Kind::kFrame, reply.data, 0,
              !corrupt, note});
    }
  }
  if (delayMs > 0) platform::SleepMs(delayMs);
  if (!Send(reply, corrupt, vanishAt)) LeaveLink();
}

// A phone that resets has finished sending first: a hung-up terminal drops what the host has
// not read, so the line hangs up only once the host has read the last answer, or closed its
// port (which discards it). A host that does neither (killed mid-run) is not waited for beyond
// kHostGoneMs.
void Phone::LeaveLink() {
  const auto deadline = Clock::now() + std::chrono::milliseconds(kHostGoneMs);
  while (!stop_ && pty_->PendingForHost() > 0 && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  CloseLink();
}

// Returns false when the phone leaves the link after this answer.
bool Phone::Send(const Reply& reply, bool corruptCheck, size_t vanishAt) {
  std::vector<uint8_t> wire;
  if (reply.kind == Reply::Kind::kFrame) wire = FrameBytes(reply.data, corruptCheck);
  if (reply.kind == Reply::Kind::kRaw) wire = reply.data;
  if (vanishAt != SIZE_MAX) {
    WriteAll(wire.data(), std::min(vanishAt, wire.size()));
    return false;
  }
  if (!wire.empty() && !WriteAll(wire.data(), wire.size())) return false;
  return !reply.leave;
}

bool Phone::WriteAll(const uint8_t* data, size_t length) {
  size_t done = 0;
  while (done < length) {
    size_t written = 0;
    const IoStatus status = pty_->Write(data + done, length - done, written, kWriteSliceMs);
    done += written;
    {
      std::lock_guard<std::mutex> guard(lock_);
      stats_.bytesOut += written;
    }
    if (status == IoStatus::kOk) return true;
    if (status != IoStatus::kTimeout || stop_ || vanishRequested_) return false;
  }
  return true;
}

}  // namespace phonesim
