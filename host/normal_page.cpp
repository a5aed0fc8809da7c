#include "host/normal_page.h"

#include <utility>

#include "corvane/platform/message_box.h"
#include "host/resources.h"
#include "host/settings.h"

namespace {

std::string Text(const char* text) { return text == nullptr ? std::string() : text; }

void SetBit(uint32_t& bits, uint32_t bit, bool on) { bits = on ? (bits | bit) : (bits & ~bit); }

}  // namespace

NormalPage::NormalPage(NormalPageView& view, Places places, PortScan::Discover discover)
    : view_(view), places_(std::move(places)), scan_(std::move(discover)) {}

NormalPage::~NormalPage() {
  JoinReader();
  if (saved_) return;
  if (const std::string failed = SaveSettings(); !failed.empty()) {
    platform::ShowMessageBox(failed);
  }
}

std::string NormalPage::SaveSettings() {
  saved_ = true;
  std::vector<std::string> slots = held_;
  if (held_.empty()) {
    for (int i = 0; i < FileTable::kSlots; ++i) slots.push_back(table_.At(i).path);
  }
  return settings::Save(ini_, {static_cast<int>(eraseOption_), dllPath_, ""}, slots);
}

void NormalPage::PageStart() {
  view_.SetScanTimer(true);
  mode_ = 0;
  table_.RemoveAll();
  const std::string& read =
      places_.readDirectory.empty() ? places_.settingsDirectory : places_.readDirectory;
  const settings::Kept kept =
      settings::Load(ini_, read, places_.settingsDirectory, places_.programDirectory);
  if (!kept.problem.empty()) platform::ShowMessageBox(kept.problem);
  // Only the three known bits ever reach the plug-in, whatever a hand-edited file holds.
  eraseOption_ = static_cast<uint32_t>(kept.eraseOption) & kEraseBits;
  boxAp_ = (eraseOption_ & kEraseAp) != 0;
  boxUserData_ = (eraseOption_ & kEraseUserData) != 0;
  boxCp_ = (eraseOption_ & kEraseCp) != 0;
  dllPath_ = kept.dllPath;
  held_ = settings::ListedFiles(ini_, places_.programDirectory);
  LoadModelPlugin();
  view_.EnableStart(false);
  scan_.ResetSeen();
  // The whole modem flash is never erased from this page: the box keeps its mark, the bit goes.
  eraseOption_ &= ~kEraseCp;
  FillControls();
}

void NormalPage::ChoosePlugin(const std::optional<std::string>& chosen) {
  if (chosen) {
    if (const std::string refused = settings::Unkeepable(*chosen); !refused.empty()) {
      return platform::ShowMessageBox(refused);
    }
    dllPath_ = *chosen;
  }
  LoadModelPlugin();
}

// The list read from the settings waits for a plug-in that can type it; until then it is saved
// back as it was, so that a plug-in that fails to load never costs the user the list.
void NormalPage::AddListed(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    const FileTable::AddResult result = table_.AddListed(path);
    if (const std::string message = AddResultMessage(result); !message.empty()) {
      platform::ShowMessageBox(message);
    }
  }
  view_.ShowFiles(table_.Rows(), table_.Header());
  const std::vector<std::string> missing = table_.MissingPaths();
  if (missing.empty()) return;
  std::string names;
  for (const std::string& path : missing) names += (names.empty() ? "" : ", ") + path;
  platform::ShowMessageBox("Not found, kept in the list: " + names);
}

void NormalPage::RefreshMissing() {
  if (table_.Refresh()) view_.ShowFiles(table_.Rows(), table_.Header());
}

void NormalPage::LoadModelPlugin() {
  std::string error;
  std::unique_ptr<ModelPlugin> plugin = ModelPlugin::Load(dllPath_, error);
  current_ = nullptr;
  table_.SetTyping({});
  if (!plugin) {
    platform::ShowMessageBox("We can't find model.dll file");
    return FillControls();
  }
  model_ = plugin->String(1);
  version_ = "Ver: " + Text(ProgramString(103)) + ", " + plugin->String(2);
  date_ = Text(ProgramString(104));
  table_.SetTyping(plugin->Typing());
  current_ = plugin.get();
  plugins_.push_back(std::move(plugin));
  if (!held_.empty() && table_.HasTyping()) AddListed(std::exchange(held_, {}));
  FillControls();
}

// A plug-in without one of the three typing functions takes no file, and says which it lacks,
// rather than be called through a missing function.
bool NormalPage::LacksTyping(const std::string& what) {
  if (current_ == nullptr || table_.HasTyping()) return false;
  platform::ShowMessageBox(
      current_->Lacking({Export::kGetFileTypeStr, Export::kJudgeFile, Export::kFileDlOrder}) +
      ": " + what + " not added");
  return true;
}

bool NormalPage::AddFile(const std::string& path) {
  if (const std::string refused = settings::Unkeepable(path); !refused.empty()) {
    platform::ShowMessageBox(refused);
    return false;
  }
  if (LacksTyping(path)) return false;
  const FileTable::AddResult result = table_.AddFile(path);
  if (const std::string message = AddResultMessage(result); !message.empty()) {
    platform::ShowMessageBox(message);
  }
  if (result != FileTable::AddResult::kAdded) return false;
  view_.ShowFiles(table_.Rows(), table_.Header());
  return true;
}

void NormalPage::AddFiles(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) AddFile(path);
}

void NormalPage::DropFiles(const std::vector<std::string>& dropped) {
  std::vector<std::string> paths;
  for (const std::string& path : dropped) {
    const std::string refused = settings::Unkeepable(path);
    if (refused.empty()) paths.push_back(path);
    if (!refused.empty()) platform::ShowMessageBox(refused);
  }
  if (!paths.empty() && LacksTyping("the dropped files")) return;
  const FileTable::DropResult result = table_.Drop(paths);
  if (!result.message.empty()) platform::ShowMessageBox(result.message);
  view_.ShowFiles(table_.Rows(), table_.Header());
}

bool NormalPage::DeleteKey(int selectionMark) {
  const int rows = static_cast<int>(table_.Rows().size());
  if (rows == 0 || selectionMark < 0 || selectionMark >= rows) return false;
  table_.RemoveSlot(selectionMark);
  view_.ShowFiles(table_.Rows(), table_.Header());
  return true;
}

void NormalPage::RemoveAll() {
  JoinReader();
  table_.RemoveAll();
  held_.clear();
  store_ = std::make_shared<CImageStore>();  // a run holding the last read keeps it
  view_.ShowFiles(table_.Rows(), table_.Header());
}

void NormalPage::CheckClicked(int row) {
  if (row < 0 || row >= FileTable::kSlots || table_.At(row).path.empty() ||
      table_.At(row).missing) {
    return;
  }
  table_.SetCheck(row, table_.At(row).check != 1);
  view_.ShowHeader("Files to Download(" + std::to_string(table_.CheckedKnownCount()) + "/" +
                   std::to_string(table_.FileCount()) + ")");
}

void NormalPage::EraseBoxClicked(EraseBox box, bool checked) {
  switch (box) {
    case EraseBox::kEntireAp:
      boxAp_ = checked;
      return SetBit(eraseOption_, kEraseAp, checked);
    case EraseBox::kUserData:
      boxUserData_ = checked;
      return SetBit(eraseOption_, kEraseUserData, checked);
    case EraseBox::kEntireCp:
      boxCp_ = checked;
      return SetBit(eraseOption_, kEraseCp, checked);
  }
}

void NormalPage::SelectMode(int mode) { mode_ = mode; }

void NormalPage::ScanTimer() {
  if (mode_ > 0) return;  // the multi-port window finds its phones itself
  const PortScan::Result result = scan_.Scan();
  view_.ShowPorts(result);
  if (result.start) view_.EnableStart(*result.start);
}

// Each checked box is named in the question; No clears the bits of the checked boxes (the marks
// stay) and the download still goes ahead.
bool NormalPage::AskAboutErase() {
  const std::string text = EraseText((boxAp_ ? kEraseAp : 0) | (boxUserData_ ? kEraseUserData : 0) |
                                     (boxCp_ ? kEraseCp : 0));
  if (text.empty()) return true;
  if (view_.AskYesNo(text + "Selected  \n\nDo you want delete ?")) return true;
  if (boxAp_) eraseOption_ &= ~kEraseAp;
  if (boxUserData_) eraseOption_ &= ~kEraseUserData;
  if (boxCp_) eraseOption_ &= ~kEraseCp;
  return false;
}

// A run without a file would only reset the phone and report success.
void NormalPage::Start() {
  RefreshMissing();
  if (table_.CheckedPaths().empty()) return platform::ShowMessageBox(kNothingTicked);
  g_nCurPage = 1;
  AskAboutErase();
  if (mode_ != 0 && mode_ != 1) return;
  ReadCheckedImages();
  view_.SetScanTimer(false);
  const RunRequest request = Request();
  scan_.ResetSeen();
  view_.PlayStartSound();
  view_.RunDownloadWindow(request);
  view_.SetScanTimer(true);
}

RunRequest NormalPage::Request() const {
  RunRequest r;
  r.mode = RunRequest::Mode::kNormal;
  r.multi = mode_ == 1;
  r.plugin = current_;
  r.port = scan_.ComPort();
  r.erase = eraseOption_;
  r.paths = table_.CheckedPaths();
  for (int k = 0; k < FileTable::kSlots; ++k) {
    const FileTable::Slot& slot = table_.At(k);
    if (!slot.path.empty() && slot.check != 0) r.names.push_back(slot.name);
  }
  r.images = store_;
  return r;
}

// Each read fills a store of its own: the window opened next waits for its flags, which never
// are those of an earlier read, and a run still holding an earlier read keeps its buffers.
void NormalPage::ReadCheckedImages() {
  JoinReader();
  store_ = std::make_shared<CImageStore>();
  store_->ClearReadingComplete();
  // Only what the plug-in reads from memory is loaded; partitions stream from their paths.
  reader_ = std::thread([store = store_, paths = table_.CheckedPaths(),
                         load = table_.CheckedLoads()] { store->ReadImages(paths, load); });
}

// Reading ends by itself (a file read is never left hanging), so the page waits for it rather
// than kill a thread that holds the store's buffers.
void NormalPage::JoinReader() {
  if (reader_.joinable()) reader_.join();
}

void NormalPage::Activate() {
  g_nCurPage = 1;
  if (activated_) {
    RefreshMissing();
    FillControls();
  }
  activated_ = true;
}

bool NormalPage::Reset() {
  boxAp_ = boxUserData_ = boxCp_ = false;
  eraseOption_ = 0;
  RemoveAll();
  FillControls();
  return g_nCurPage == 1;
}

void NormalPage::FillControls() {
  view_.ShowFiles(table_.Rows(), table_.Header());
  if (current_ == nullptr) {
    view_.ShowLabels("", "", "");
  } else {
    view_.ShowLabels(model_, version_, date_);
  }
  view_.ShowErase(boxAp_, boxUserData_, boxCp_);
  view_.ShowMode(mode_);
}
