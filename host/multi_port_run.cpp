#include "host/multi_port_run.h"

#include <cstdio>

#include "corvane/platform/message_box.h"
#include "corvane/platform/notify.h"
#include "host/current_page.h"

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

MultiPortRun::MultiPortRun(MultiPortView& view, NormalPage& normal, const RomCopyPage& romCopy,
                           PortScan::Discover discover)
    : view_(view),
      normal_(normal),
      romCopy_(romCopy),
      discover_(std::move(discover)),
      mailbox_(std::make_shared<platform::MailboxTarget>(
          [this](uint32_t m, platform::WPARAM w, platform::LPARAM l) { return Handle(m, w, l); })) {
}

MultiPortRun::~MultiPortRun() { CloseAll(); }

bool MultiPortRun::Start() {
  relay_ = std::make_unique<MessageBoxRelay>(mailbox_);
  for (int slot = 0; slot < kSlots; ++slot) view_.ShowColumn(slot, "PORT X", "Ready...");
  mode_ = g_nCurPage == 2 ? 2 : 1;
  if (mode_ == 2) {
    cpPath_ = romCopy_.CpPath();
    apPath_ = romCopy_.ApPath();
    eraseOption_ = romCopy_.EraseOption();
  } else {
    eraseOption_ = normal_.EraseOption();
  }
  const ModelPlugin* plugin = normal_.Plugin();
  const char* start = mode_ == 2 ? "ExecuteFunction" : "DoDLExecuteFunction";
  a111_ = plugin != nullptr ? plugin->Find<A111Fn>("_A111") : nullptr;
  const bool haveStart = plugin != nullptr && plugin->Find<void (*)()>(start) != nullptr;
  if (a111_ == nullptr || !haveStart) {
    Refuse(std::string("The model plug-in lacks its ") + (a111_ == nullptr ? "_A111" : start) +
           " export");
    return false;
  }
  const std::string nothing = mode_ == 2 ? NoRomImageReason(cpPath_, apPath_) : "";
  if (!nothing.empty()) Refuse(nothing);
  return nothing.empty();
}

void MultiPortRun::Refuse(const std::string& why) {
  refused_ = true;
  platform::ShowMessageBox(why);
}

void MultiPortRun::Tick() {
  if (refused_ || mailbox_->IsClosed()) return;
  ports_ = discover_();
  if (mode_ == 1 && !ImagesReady()) return;
  const std::optional<uint8_t> port = NewPort();
  if (!port) return;
  for (size_t slot = 0; slot < slots_.size(); ++slot) {
    if (!slots_[slot].busy) return StartPort(slot, *port);
  }
}

// The page's read must have ended well: a file the store could not read is never handed over.
bool MultiPortRun::ImagesReady() {
  if (imagesTaken_) return true;
  const CImageStore& store = normal_.Store();
  if (!store.ReadingEnded()) return false;
  std::string why;
  for (const CImageStore::SlotReport& r : store.Problems()) why += DescribeProblem(r) + "\n";
  if (store.ReadingComplete() == 0 && why.empty()) why = "The files could not be read";
  if (!why.empty()) {
    Refuse(why);
    return false;
  }
  arguments_ = NormalDownloadArguments(normal_.Files(), store);
  imagesTaken_ = true;
  return true;
}

std::optional<uint8_t> MultiPortRun::NewPort() const {
  for (const SerialPortEntry& entry : ports_) {
    bool held = false;
    for (const Slot& s : slots_) held = held || (s.busy && s.port == entry.portNumber);
    if (!held) return entry.portNumber;
  }
  return std::nullopt;
}

void MultiPortRun::StartPort(size_t slot, uint8_t port) {
  Slot& s = slots_[slot];
  s = Slot{true, true, port, nullptr};
  HoldAwake();
  a111_(table_, mode_);
  view_.ShowColumn(static_cast<int>(slot), PortColumn(port), "Progress");
  const Rect r = Panel(static_cast<int>(slot));
  if (mode_ == 2) {
    reinterpret_cast<ExecuteFunctionFn>(table_[0])(mailbox_.get(), view_.PanelParent(), &cpPath_,
                                                   &apPath_, port, r.left, r.top, r.width, r.height,
                                                   eraseOption_);
  } else {
    reinterpret_cast<DoDLExecuteFunctionFn>(table_[0])(
        mailbox_.get(), view_.PanelParent(), arguments_.images.data(), arguments_.Count(),
        &arguments_.paths, port, r.left, r.top, r.width, r.height, eraseOption_);
  }
  s.window = reinterpret_cast<LastStatusWindowFn>(table_[3])();
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
    reinterpret_cast<CloseStatusWindowFn>(table_[1])(reinterpret_cast<void*>(wParam));
    if (Slot* s = SlotOfPort(lParam)) *s = Slot{};
    HoldAwake();
  } else if (message == notify::kMsgStatusWindowResult) {
    Slot* s = SlotOfPort(lParam);
    if (s == nullptr) return 0;
    s->running = false;
    view_.ShowColumn(static_cast<int>(s - slots_.data()), PortColumn(s->port),
                     wParam != 0 ? "Pass" : "Fail");
    view_.PlaySound(wParam != 0);
    HoldAwake();
  } else {
    return 0;
  }
  return 1;
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
    if (s.window != nullptr) reinterpret_cast<CloseStatusWindowFn>(table_[1])(s.window);
    s = Slot{};
  }
  awake_.reset();
  relay_.reset();
}
