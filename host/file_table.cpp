#include "host/file_table.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <utility>

#include "corvane/platform/clock.h"
#include "corvane/platform/path.h"

namespace {

std::string SizeText(const std::string& path) {
  std::error_code ec;
  const uint64_t bytes = std::filesystem::file_size(platform::PathOf(path), ec);
  if (ec) return "";
  return std::to_string(bytes / 1024) + " KByte";
}

// The last write time in the machine's local time, minutes included.
std::string DateText(const std::string& path) {
  std::error_code ec;
  const auto written = std::filesystem::last_write_time(platform::PathOf(path), ec);
  if (ec) return "";
  const auto system = std::chrono::file_clock::to_sys(written);
  const std::time_t t = std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(system));
  std::tm local{};
  if (!platform::LocalTime(t, local)) return "";
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
  return text;
}

}  // namespace

FileTable::FileTable() = default;

FileTable::FileTable(FileTyping typing) : typing_(std::move(typing)) {}

void FileTable::SetTyping(FileTyping typing) { typing_ = std::move(typing); }

// The same file reached through a symbolic link (or a second hard link) is listed already:
// written twice it would flash one image into two places the user did not mean.
bool FileTable::Listed(const std::string& path) const {
  for (const Slot& s : slots_) {
    if (s.path.empty()) continue;
    std::error_code ec;
    if (s.path == path ||
        std::filesystem::equivalent(platform::PathOf(s.path), platform::PathOf(path), ec))
      return true;
  }
  return false;
}

int FileTable::FreeSlot() const {
  for (int i = 0; i < kSlots; ++i) {
    if (slots_[static_cast<size_t>(i)].path.empty()) return i;
  }
  return -1;
}

void FileTable::PutInFreeSlot(int slot, const std::string& path) {
  Slot& s = slots_[static_cast<size_t>(slot)];
  s.path = path;
  s.name = platform::BareName(path);
  s.type = typing_.typeText(path);  // copied at once: the plug-in reuses its buffer
  s.check = 1;
}

FileTable::AddResult FileTable::AddFile(const std::string& path) {
  if (!HasTyping()) return AddResult::kNoPlugin;
  if (Listed(path)) return AddResult::kDuplicate;
  if (typing_.judge(path) != 1) return AddResult::kRejected;
  const int slot = FreeSlot();
  if (slot < 0) return AddResult::kFull;
  PutInFreeSlot(slot, path);
  RebuildFileList();
  return AddResult::kAdded;
}

FileTable::AddResult FileTable::AddListed(const std::string& path) {
  std::error_code ec;
  if (!HasTyping() || std::filesystem::exists(platform::PathOf(path), ec)) return AddFile(path);
  if (Listed(path)) return AddResult::kDuplicate;
  const int slot = FreeSlot();
  if (slot < 0) return AddResult::kFull;
  PutInFreeSlot(slot, path);
  Slot& s = slots_[static_cast<size_t>(slot)];
  s.check = 0;
  s.missing = true;
  RebuildFileList();
  return AddResult::kAdded;
}

bool FileTable::Refresh() {
  bool changed = false;
  for (Slot& s : slots_) {
    std::error_code ec;
    if (!s.missing || !std::filesystem::exists(platform::PathOf(s.path), ec)) continue;
    changed = true;
    if (typing_.judge && typing_.judge(s.path) == 1) {
      s.missing = false;
      s.check = 1;
    } else {
      s = Slot{};
    }
  }
  if (changed) RebuildFileList();
  return changed;
}

std::vector<std::string> FileTable::MissingPaths() const {
  std::vector<std::string> out;
  for (const Slot& s : slots_) {
    if (s.missing) out.push_back(s.path);
  }
  return out;
}

FileTable::DropResult FileTable::Drop(const std::vector<std::string>& paths) {
  DropResult result;
  if (!HasTyping()) {
    result.stoppedBy = AddResult::kNoPlugin;
    result.message = AddResultMessage(AddResult::kNoPlugin);
    return result;
  }
  if (paths.size() > static_cast<size_t>(kSlots)) {
    result.stoppedBy = AddResult::kFull;
    result.message = "We can't allow more than 20 file";
    return result;
  }
  for (const std::string& path : paths) {
    if (Listed(path)) {
      result.stoppedBy = AddResult::kDuplicate;
      break;
    }
    if (typing_.judge(path) != 1) continue;
    const int slot = FreeSlot();
    if (slot < 0) {
      result.stoppedBy = AddResult::kFull;
      result.message = AddResultMessage(AddResult::kFull);
      break;
    }
    PutInFreeSlot(slot, path);
    ++result.added;
  }
  RebuildFileList();
  return result;
}

void FileTable::RemoveSlot(int slot) {
  if (slot < 0 || slot >= kSlots) return;
  slots_[static_cast<size_t>(slot)] = Slot{};
  RebuildFileList();
}

void FileTable::RemoveAll() {
  slots_.fill(Slot{});
  fileCount_ = 0;
  missingCount_ = 0;
}

void FileTable::SetCheck(int slot, bool checked) {
  if (slot < 0 || slot >= kSlots || slots_[static_cast<size_t>(slot)].missing) return;
  slots_[static_cast<size_t>(slot)].check = checked ? 1 : 0;
}

void FileTable::RebuildFileList() {
  fileCount_ = 0;
  for (Slot& s : slots_) {
    uint8_t code = typing_.order ? static_cast<uint8_t>(typing_.order(s.name)) : kFree;
    if (!s.name.empty() && code == kFree) code = kUnknown;
    s.order = code;
    if (code != kFree && code != kUnknown) ++fileCount_;
  }
  // The page's exchange sort: equal codes are never swapped with each other directly, but a
  // lower code further down can still move past them, as the host's list has always done.
  for (size_t i = 0; i + 1 < slots_.size(); ++i) {
    for (size_t j = i + 1; j < slots_.size(); ++j) {
      if (slots_[i].order > slots_[j].order) std::swap(slots_[i], slots_[j]);
    }
  }
  missingCount_ = 0;
  for (size_t i = 0; i < slots_.size(); ++i) {
    if (slots_[i].path.empty()) slots_[i].check = 0;
    if (slots_[i].missing && static_cast<int>(i) < fileCount_) ++missingCount_;
  }
}

std::string FileTable::Header() const {
  return "Files to Download(" + std::to_string(fileCount_ - missingCount_) + "/" +
         std::to_string(fileCount_) + ")";
}

int FileTable::CheckedKnownCount() const {
  int n = 0;
  for (int i = 0; i < fileCount_; ++i) n += slots_[static_cast<size_t>(i)].check == 1 ? 1 : 0;
  return n;
}

std::vector<std::string> FileTable::CheckedPaths() const {
  std::vector<std::string> out;
  for (const Slot& s : slots_) {
    if (!s.path.empty() && s.check != 0) out.push_back(s.path);
  }
  return out;
}

std::vector<bool> FileTable::CheckedLoads() const {
  std::vector<bool> out;
  for (const Slot& s : slots_) {
    if (!s.path.empty() && s.check != 0) out.push_back(s.order != kUnknown && s.order != kFree);
  }
  return out;
}

std::vector<FileTable::Row> FileTable::Rows() const {
  std::vector<Row> out;
  for (const Slot& s : slots_) {
    if (s.path.empty()) continue;
    Row row;
    row.number = static_cast<int>(out.size()) + 1;
    row.path = s.path;
    row.type = s.type;
    row.date = DateText(s.path);
    row.size = SizeText(s.path);
    row.checked = s.check == 1;
    row.missing = s.missing;
    out.push_back(std::move(row));
  }
  return out;
}

std::string AddResultMessage(FileTable::AddResult result) {
  switch (result) {
    case FileTable::AddResult::kNoPlugin:
      return "At first, You should input dll file";
    case FileTable::AddResult::kFull:
      return "Number of file can't exceed 20";
    default:
      return "";
  }
}
