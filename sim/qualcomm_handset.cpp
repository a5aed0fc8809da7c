#include "sim/qualcomm_handset.h"

#include <algorithm>
#include <chrono>

#include "corvane/platform/byte_order.h"
#include "corvane/platform/clock.h"
#include "sim/generic_boot_loader.h"

namespace phonesim {
namespace {

constexpr uint8_t kDiagModeControl = 0x29;
constexpr uint8_t kDiagEnterDownload = 0x3A;
constexpr uint8_t kDiagBadCommand = 0x13;

constexpr uint8_t kNoop = 0x06;
constexpr uint8_t kReset = 0x0A;
constexpr uint8_t kNandInit = 0x40;
constexpr uint8_t kCommit = 0x41;
constexpr uint8_t kNandFinalize = 0x42;
constexpr uint8_t kNandErase = 0x4D;
constexpr uint8_t kData = 0x4E;
constexpr uint8_t kSwitchToAp = 0x60;
constexpr uint8_t kHdlcMode = 0xFD;
constexpr uint8_t kAck = 0x02;
constexpr uint8_t kNak = 0x03;

constexpr size_t kDataHeader = 6;

Reply Leave() {
  Reply r;
  r.leave = true;
  return r;
}

}  // namespace

// The modem's diagnostic service: mode control, and the switch into download mode.
class QualcommHandset::Diag : public Personality {
 public:
  explicit Diag(QualcommHandset& handset) : handset_(handset) {}

  size_t PayloadLength(const std::vector<uint8_t>&) const override { return 0; }
  size_t RawLength(const uint8_t*, size_t) const override { return kNoRaw; }

  Reply Answer(const Packet& request) override {
    if (!request.checkOk || request.body.empty()) return Reply::None();
    if (request.Command() == kDiagModeControl) return Reply::Frame(request.body);
    if (request.Command() == kDiagEnterDownload) {
      std::lock_guard<std::mutex> guard(handset_.stateLock_);
      handset_.nextMode_ = Mode::kDload;
      Reply r = Reply::Frame({kDiagEnterDownload});
      r.leave = true;
      return r;
    }
    return Refusal(request);
  }

  // DIAG refuses with "bad command" and the request it refused.
  Reply Refusal(const Packet& request) const override {
    std::vector<uint8_t> refusal = {kDiagBadCommand};
    refusal.insert(refusal.end(), request.body.begin(), request.body.end());
    return Reply::Frame(refusal);
  }

 private:
  QualcommHandset& handset_;
};

// The modem's download mode: framed no-op and mode switch, raw NAND commands.
class QualcommHandset::Dload : public Personality {
 public:
  explicit Dload(QualcommHandset& handset) : handset_(handset) {}

  size_t PayloadLength(const std::vector<uint8_t>&) const override { return 0; }

  size_t RawLength(const uint8_t* data, size_t available) const override {
    switch (data[0]) {
      case kNandErase:
      case kCommit:
        return 9 + 2;
      case kNandInit:
        return 5 + 2;
      case kNandFinalize:
      case kReset:
      case kSwitchToAp:
        return 1 + 2;
      case kData:
        // The length follows the 3-byte offset; until it has arrived, at least the header.
        if (available < kDataHeader) return kDataHeader + 2;
        return kDataHeader + bytes::LoadBe16(data + 4) + 2;
      default:
        return kUntilCheck;
    }
  }

  Reply Answer(const Packet& request) override {
    if (!request.checkOk || request.body.empty()) return Reply::None();
    std::lock_guard<std::mutex> guard(handset_.stateLock_);
    return request.framed ? Framed(request.body) : Raw(request.body);
  }

  // Download mode refuses framed and raw requests alike with its NAK.
  Reply Refusal(const Packet&) const override { return Nak(); }

 private:
  Reply Framed(const std::vector<uint8_t>& b) {
    if (b[0] == kNoop) return Ack();
    if (b[0] == kHdlcMode && b.size() >= 2) {
      handset_.dload_.rawMode = b[1] == 1;
      return Ack();
    }
    return Nak();
  }

  Reply Raw(const std::vector<uint8_t>& b) {
    DloadState& s = handset_.dload_;
    switch (b[0]) {
      case kNandErase:
        return Erase(bytes::LoadBe32(&b[1]), bytes::LoadBe32(&b[5]));
      case kNandInit:
        s.inits.push_back(bytes::LoadBe32(&b[1]));
        return Ack();
      case kData:
        TakeData(b);
        s.chunks.push_back(b.size() - kDataHeader);
        return Reply::None();  // data requests are not answered
      case kCommit:
        return Commit(bytes::LoadBe32(&b[1]), bytes::LoadBe32(&b[5]));
      case kNandFinalize:
        ++s.finalizes;
        return Ack();
      case kReset:
        handset_.nextMode_ = Mode::kDiag;
        return Leave();
      case kSwitchToAp:
        handset_.nextMode_ = Mode::kApLoader;
        return Leave();
      default:
        return Nak();
    }
  }

  Reply Erase(uint32_t first, uint32_t end) {
    const uint64_t from = uint64_t{first} * kNandBlockSize;
    const uint64_t to = uint64_t{end} * kNandBlockSize;
    if (end < first || !handset_.nand_.Erase(from, to - from)) return Nak();
    handset_.dload_.erases.emplace_back(first, end);
    return Ack();
  }

  // The offset counts the bytes sent since the last commit, so a chunk sent again after failed
  // commits replaces the one before it. A gap leaves the pending data unusable.
  void TakeData(const std::vector<uint8_t>& b) {
    const size_t offset = bytes::LoadBe24(b.data() + 1);
    if (offset > pending_.size()) gap_ = true;
    pending_.resize(std::min(offset, pending_.size()));
    pending_.insert(pending_.end(), b.begin() + kDataHeader, b.end());
  }

  // A commit writes what the data requests since the last commit brought, at the address given.
  Reply Commit(uint32_t address, uint32_t length) {
    const bool whole = length == pending_.size() && !gap_;
    gap_ = false;
    const bool stored = whole && handset_.nand_.Write(address, pending_.data(), pending_.size());
    pending_.clear();
    if (!stored) return Nak();
    handset_.dload_.commits.emplace_back(address, length);
    return Ack();
  }

  static Reply Ack() { return Reply::Frame({kAck}); }
  static Reply Nak() { return Reply::Frame({kNak}); }

  QualcommHandset& handset_;
  std::vector<uint8_t> pending_;
  bool gap_ = false;
};

QualcommHandset::QualcommHandset(Options options)
    : options_(std::move(options)), nand_(options_.nandCapacity) {
  worker_ = std::thread([this] { Reenumerate(); });
  std::lock_guard<std::mutex> guard(lock_);
  Appear(options_.initialMode);
}

QualcommHandset::~QualcommHandset() {
  std::unique_ptr<Phone> last;
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
    last = std::move(phone_);
  }
  changed_.notify_all();
  worker_.join();
  last.reset();
}

PortIdentity QualcommHandset::IdentityFor(Mode mode) const {
  if (mode == Mode::kDload) return PluggedIn(options_.dloadPort, options_.usb);
  if (mode == Mode::kApLoader) return PluggedIn(options_.apPort, options_.usb);
  return PluggedIn(options_.diagPort, options_.usb);
}

std::unique_ptr<Personality> QualcommHandset::PersonalityFor(Mode mode) {
  if (mode == Mode::kDiag) return std::make_unique<Diag>(*this);
  if (mode == Mode::kDload) return std::make_unique<Dload>(*this);
  if (options_.apLoader) return options_.apLoader();
  return std::make_unique<GenericBootLoader>();
}

// Called with lock_ held.
void QualcommHandset::Appear(Mode mode) {
  mode_ = mode;
  {
    std::lock_guard<std::mutex> state(stateLock_);
    nextMode_ = Mode::kGone;
  }
  if (mode == Mode::kGone) return;
  phone_ = std::make_unique<Phone>(PersonalityFor(mode), IdentityFor(mode));
  const uint64_t generation = ++generation_;
  phone_->SetOnLeave([this, generation] { OnLeave(generation); });
  for (const Fault& f : faults_[mode]) phone_->InjectFault(f);
  faults_[mode].clear();
  ++appearances_;
  changed_.notify_all();
}

void QualcommHandset::OnLeave(uint64_t generation) {
  std::lock_guard<std::mutex> guard(lock_);
  if (generation != generation_) return;
  leaving_ = true;
  changed_.notify_all();
}

// The phone's own thread reports that it left; this thread retires that port and, after the
// re-enumeration delay, brings up the next one.
void QualcommHandset::Reenumerate() {
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    changed_.wait(guard, [this] { return leaving_ || stopping_; });
    if (stopping_) return;
    leaving_ = false;
    std::unique_ptr<Phone> old = std::move(phone_);
    Mode next = Mode::kGone;
    {
      std::lock_guard<std::mutex> state(stateLock_);
      next = nextMode_;
    }
    mode_ = Mode::kGone;
    changed_.notify_all();
    guard.unlock();
    old.reset();
    if (next != Mode::kGone) platform::SleepMs(options_.reenumerateDelayMs);
    guard.lock();
    if (next != Mode::kGone && next == refused_) {
      refused_ = Mode::kGone;
      next = Mode::kGone;
    }
    if (stopping_) return;
    Appear(next);
  }
}

QualcommHandset::Mode QualcommHandset::CurrentMode() const {
  std::lock_guard<std::mutex> guard(lock_);
  return mode_;
}

uint8_t QualcommHandset::CurrentPort() const {
  std::lock_guard<std::mutex> guard(lock_);
  return mode_ != Mode::kGone && phone_ ? phone_->PortNumber() : 0;
}

int QualcommHandset::Appearances() const {
  std::lock_guard<std::mutex> guard(lock_);
  return appearances_;
}

bool QualcommHandset::WaitForMode(Mode mode, int timeoutMs) const {
  std::unique_lock<std::mutex> guard(lock_);
  return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                           [&] { return mode_ == mode && (mode == Mode::kGone || phone_); });
}

void QualcommHandset::InjectFault(Mode mode, const Fault& fault) {
  std::lock_guard<std::mutex> guard(lock_);
  if (mode_ == mode && phone_) {
    phone_->InjectFault(fault);
  } else {
    faults_[mode].push_back(fault);
  }
}

void QualcommHandset::Unplug() {
  std::lock_guard<std::mutex> guard(lock_);
  {
    std::lock_guard<std::mutex> state(stateLock_);
    nextMode_ = Mode::kGone;
  }
  // The worker retires the phone; it cannot while this holds lock_, so the phone stays alive.
  if (phone_) phone_->Vanish();
  leaving_ = true;
  changed_.notify_all();
}

void QualcommHandset::NeverReturnAs(Mode mode) {
  std::lock_guard<std::mutex> guard(lock_);
  refused_ = mode;
}

bool QualcommHandset::WithCurrentPersonality(const std::function<void(Personality&)>& fn) {
  std::lock_guard<std::mutex> guard(lock_);
  if (mode_ == Mode::kGone || !phone_) return false;
  phone_->WithPersonality(fn);
  return true;
}

void QualcommHandset::Inspect(
    const std::function<void(const FlashStore&, const DloadState&)>& fn) const {
  std::lock_guard<std::mutex> guard(stateLock_);
  fn(nand_, dload_);
}

}  // namespace phonesim
