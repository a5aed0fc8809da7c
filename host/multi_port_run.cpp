#include "host/multi_port_run.h"

#include <algorithm>
#include <cstdio>

#include "corvane/platform/message_box.h"
#include "corvane/platform/notify.h"
#include "corvane/platform/port_table.h"
#include "corvane/platform/run_outcome.h"
#include "corvane/platform/serial_device.h"

namespace {

constexpr int kPanelWidth = 121;
constexpr int kPanelHeight = 149;
constexpr int kFirstRow = 5;

std::string PortColumn(uint8_t port) {
  char text[24];
  std::snprintf(text, sizeof text, "PORT (%d)", port);
  return text;
}

}  // namespace

MultiPortRun::Rect MultiPortRun::Panel(int slot) {
  const int row = slot < kFirstRow ? 0 : 1;
  const int column = slot < kFirstRow ? slot : slot - kFirstRow;
  return {column * kPanelWidth, row * kPanelHeight, kPanelWidth, kPanelHeight};
}

MultiPortRun::MultiPortRun(MultiPortView& view, RunRequest request, PortScan::Discover discover)
    : view_(view),
      request_(std::move(request)),
      discover_(std::move(discover)),
      mailbox_(std::make_shared<platform::MailboxTarget>(
          [this](uint32_t m, platform::WPARAM w, platform::LPARAM l) { return Handle(m, w, l); })),
      recordStart_(request_.record) {}

MultiPortRun::~MultiPortRun() { CloseAll(); }

bool MultiPortRun::Start() {
  relay_ = std::make_unique<MessageBoxRelay>(mailbox_);
  for (int slot = 0; slot < kSlots; ++slot) view_.ShowColumn(slot, "PORT X", "Ready...");
  const std::string why = Refusal();
  if (!why.empty()) Refuse(why);
  return why.empty();
}

// Checked once, before any port: a file the plug-in refuses, or one no step would write, would
// fail every phone half-way (or pass them with the file left out).
std::string MultiPortRun::Refusal() const {
  if (std::string why = request_.Refusal(); !why.empty()) return why;
  const bool romCopy = request_.mode == RunRequest::Mode::kRomCopy;
  const Export start = romCopy ? Export::kExecuteFunction : Export::kDoDlExecuteFunction;
  if (std::string lacks = request_.plugin->Lacking({Export::kA111, start}); !lacks.empty()) {
    return lacks;
  }
  const FileCheck check =
      request_.plugin->CheckFiles(request_.CheckMode(), request_.Files(), request_.erase);
  const bool refused = check.verdict == FileCheck::Verdict::kRefused ||
                       check.verdict == FileCheck::Verdict::kUnusedFiles;
  return refused ? check.message : "";
}

void MultiPortRun::Refuse(const std::string& why) {
  refused_ = true;
  platform::ShowMessageBox(why);
}

void MultiPortRun::Tick() {
  if (refused_ || mailbox_->IsClosed()) return;
  ports_ = discover_();
  if (request_.mode == RunRequest::Mode::kNormal && !ImagesReady()) return;
  const std::optional<uint8_t> port = NewPort();
  if (!port) return;
  for (size_t slot = 0; slot < slots_.size(); ++slot) {
    if (!slots_[slot].busy) return StartPort(slot, *port);
  }
}

// The page's read must have ended well: a file the store could not read is never handed over.
bool MultiPortRun::ImagesReady() {
  if (imagesTaken_) return true;
  const CImageStore& store = *request_.images;
  if (!store.ReadingEnded()) return false;
  std::string why;
  for (const CImageStore::SlotReport& r : store.Problems()) why += DescribeProblem(r) + "\n";
  if (store.ReadingComplete() == 0 && why.empty()) why = "The files could not be read";
  if (!why.empty()) {
    Refuse(why);
    return false;
  }
  images_ = request_.Images();
  if (request_.recorder) records::HashImages(recordStart_, images_);
  imagesTaken_ = true;
  return true;
}

std::optional<uint8_t> MultiPortRun::NewPort() {
  std::erase_if(heldSaid_, [&](uint8_t port) {
    return std::none_of(ports_.begin(), ports_.end(),
                        [&](const SerialPortEntry& e) { return e.portNumber == port; });
  });
  for (const SerialPortEntry& entry : ports_) {
    bool held = false;
    for (const Slot& s : slots_) held = held || (s.busy && s.port == entry.portNumber);
    if (!held && !HeldByAnotherProgram(entry)) return entry.portNumber;
  }
  return std::nullopt;
}

// Its status window could only fail to open it, and a phone of this window's would be counted
// as failed: the port is passed over until it is free.
bool MultiPortRun::HeldByAnotherProgram(const SerialPortEntry& entry) {
  if (!platform::HeldElsewhere(platform::PortPath(entry.portNumber))) {
    heldSaid_.erase(entry.portNumber);
    return false;
  }
  if (heldSaid_.insert(entry.portNumber).second) {
    view_.ShowNote("COM" + std::to_string(entry.portNumber) + " (" + entry.portName +
                   ") is held by another program: passed over");
  }
  return true;
}

void MultiPortRun::StartPort(size_t slot, uint8_t port) {
  Slot& s = slots_[slot];
  s = Slot{true, true, port, nullptr, ""};
  HoldAwake();
  steps_.erase(port);
  records::RunStart start = recordStart_;
  for (const SerialPortEntry& e : ports_) {
    if (e.portNumber != port) continue;
    start.simulated = records::SimulatedPort(e.devicePath);
    ledgers_.insert_or_assign(port, records::RunLedger(request_.recorder.get(), start))
        .first->second.Begin(records::PhoneOf(e));
  }
  request_.plugin->Exports().a111(table_.entries, static_cast<int>(request_.mode));
  view_.ShowColumn(static_cast<int>(slot), PortColumn(port), "Progress");
  const Rect r = Panel(static_cast<int>(slot));
  if (request_.mode == RunRequest::Mode::kRomCopy) {
    table_.RomCopyStart()(mailbox_.get(), view_.PanelParent(), &request_.cpPath, &request_.apPath,
                          port, r.left, r.top, r.width, r.height, request_.erase);
  } else {
    table_.NormalStart()(mailbox_.get(), view_.PanelParent(), images_.data(),
                         static_cast<int>(images_.size()), &request_.paths, port, r.left, r.top,
                         r.width, r.height, request_.erase);
  }
  s.window = table_.LastWindow()();
}

void MultiPortRun::Record(uint8_t port, int result) {
  const auto ledger = ledgers_.find(port);
  if (ledger == ledgers_.end()) return;
  const auto outcome = outcomes_.find(port);
  const notify::Judgement judgement =
      outcome != outcomes_.end() ? outcome->second
                                 : notify::Judgement{notify::Verdict::kCancelled, "Cancelled"};
  const notify::StepHistory* steps = PortSteps(port);
  ledger->second.End(judgement, result, {}, steps ? steps->lines : std::vector<std::string>{},
                     steps ? *steps : notify::StepHistory{});
  ledgers_.erase(ledger);
  outcomes_.erase(port);
}

void MultiPortRun::Keep(Slot& s, const notify::RunOutcome& outcome) {
  s.reason = outcome.reason != nullptr ? outcome.reason : "";  // shown with the result
  // Kept past the panel: the port's last run is still to be recorded after its window closed.
  steps_[s.port] = notify::HistoryOf(outcome);
  outcomes_[s.port] = {outcome.verdict, s.reason};
  const auto ledger = ledgers_.find(s.port);
  if (ledger != ledgers_.end() && notify::HasFactory(outcome)) {
    ledger->second.SetFactory(outcome.modelName, outcome.pid);
  }
}

MultiPortRun::Slot* MultiPortRun::SlotOfPort(platform::LPARAM port) {
  for (Slot& s : slots_) {
    if (s.busy && s.port == port) return &s;
  }
  return nullptr;
}

platform::LRESULT MultiPortRun::Handle(uint32_t message, platform::WPARAM wParam,
                                       platform::LPARAM lParam) {
  if (message == MessageBoxRelay::kMessage && relay_) {
    relay_->Handle(lParam);
  } else if (message == notify::kMsgStatusWindowClose) {
    table_.CloseWindow()(reinterpret_cast<void*>(wParam));
    Record(static_cast<uint8_t>(lParam), 0);  // closed before its end: cancelled
    if (Slot* s = SlotOfPort(lParam)) *s = Slot{};
    HoldAwake();
  } else if (message == notify::kMsgStatusWindowOutcome) {
    const notify::RunOutcome* outcome = notify::RunOutcomeOf(lParam);
    Slot* s = SlotOfPort(static_cast<platform::LPARAM>(wParam));
    if (s == nullptr || outcome == nullptr) return 0;
    Keep(*s, *outcome);
  } else if (message == notify::kMsgStatusWindowResult) {
    Slot* s = SlotOfPort(lParam);
    if (s == nullptr) return 0;
    s->running = false;
    Record(s->port, static_cast<int>(wParam));
    const int slot = static_cast<int>(s - slots_.data());
    view_.ShowColumn(slot, PortColumn(s->port), wParam != 0 ? "Pass" : "Fail");
    view_.ShowReason(slot, s->reason);
    view_.PlaySound(wParam != 0);
    HoldAwake();
  } else {
    return 0;
  }
  return 1;
}

const notify::StepHistory* MultiPortRun::PortSteps(uint8_t port) const {
  const auto it = steps_.find(port);
  return it == steps_.end() ? nullptr : &it->second;
}

bool MultiPortRun::AnyRunning() const {
  for (const Slot& s : slots_) {
    if (s.running) return true;
  }
  return false;
}

void MultiPortRun::HoldAwake() {
  if (!AnyRunning()) {
    awake_.reset();
  } else if (!awake_) {
    awake_.emplace();
  }
}

void MultiPortRun::CloseAll() {
  mailbox_->CloseMailbox();
  for (Slot& s : slots_) {
    if (s.window != nullptr) table_.CloseWindow()(s.window);
    if (s.busy) Record(s.port, 0);
    s = Slot{};
  }
  awake_.reset();
  relay_.reset();
}
