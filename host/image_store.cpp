#include "host/image_store.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>

#include "corvane/platform/byte_order.h"
#include "corvane/platform/message_box.h"
#include "corvane/platform/path.h"

namespace {

constexpr const char* kOpenErrorText = "File Open Error";
constexpr const char* kShortReadText = "We can't read ";
constexpr const char* kNoMemoryText = "Memory is not enough for you\n Restart Tarvex";

// "File Open Error", then the system's own description of the error, as two boxes.
void ReportOpenError(const std::string& reason) {
  platform::ShowMessageBox(kOpenErrorText);
  platform::ShowMessageBox(reason);
}

class File {
 public:
  explicit File(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {}
  ~File() {
    if (file_ != nullptr) std::fclose(file_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  std::FILE* get() const { return file_; }

 private:
  std::FILE* file_;
};

}  // namespace

CImageStore::~CImageStore() = default;

void CImageStore::FreeImages() {
  ClearReadingComplete();
  for (auto& slot : slots_) slot.reset();
  reports_.clear();
}

int CImageStore::ReadImages(const std::vector<std::string>& paths, const std::vector<bool>& load) {
  // A read starts from an empty store, so that no image of an earlier read stays behind in a
  // slot that this read does not fill.
  FreeImages();
  reports_.assign(paths.size(), SlotReport{});
  for (size_t i = 0; i < paths.size(); ++i) {
    reports_[i].path = paths[i];
    if (i >= kSlots) reports_[i].reason = "the store holds at most 20 images";
  }
  for (size_t i = 0; i < paths.size() && i < kSlots; ++i) {
    SlotReport& report = reports_[i];
    report.state = ReadOne(i, paths[i], i >= load.size() || load[i], report.reason);
    // A file that stops half-way or a machine out of memory ends the read: the flag stays 0.
    if (report.state == SlotState::kShortRead || report.state == SlotState::kNoMemory) {
      ended_.store(true, std::memory_order_release);
      return 0;
    }
  }
  complete_.store(1, std::memory_order_release);
  ended_.store(true, std::memory_order_release);
  return 1;
}

CImageStore::SlotState CImageStore::ReadOne(size_t slot, const std::string& path, bool load,
                                            std::string& reason) {
  std::error_code ec;
  const uint64_t length = std::filesystem::file_size(platform::PathOf(path), ec);
  if (ec) {
    reason = ec.message();
    ReportOpenError(reason);
    return SlotState::kOpenError;
  }
  if (load && length >= kTooLarge) {
    slots_[slot].reset();
    return SlotState::kTooLarge;
  }
  const File file(path);
  if (file.get() == nullptr) {
    reason = std::generic_category().message(errno);
    ReportOpenError(reason);
    return SlotState::kOpenError;
  }
  if (!load) return SlotState::kOnDisk;
  slots_[slot].reset();
  // One allocation of exactly length + 4 bytes and one read into it; nothing is copied later.
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[length + 4]);
  if (!buffer) {
    platform::ShowMessageBox(kNoMemoryText);
    return SlotState::kNoMemory;
  }
  bytes::StoreLe32(buffer.get(), static_cast<uint32_t>(length));
  const size_t got = std::fread(buffer.get() + 4, 1, static_cast<size_t>(length), file.get());
  if (got < length) {
    platform::ShowMessageBox(kShortReadText + path);
    return SlotState::kShortRead;
  }
  slots_[slot] = std::move(buffer);
  return SlotState::kRead;
}

uint8_t* CImageStore::Image(size_t slot) const {
  return slot < kSlots ? slots_[slot].get() : nullptr;
}

std::vector<uint8_t*> CImageStore::Images(size_t count) const {
  std::vector<uint8_t*> out(count, nullptr);
  for (size_t i = 0; i < count; ++i) out[i] = Image(i);
  return out;
}

std::vector<CImageStore::SlotReport> CImageStore::Problems() const {
  std::vector<SlotReport> out;
  for (const SlotReport& r : reports_) {
    if (r.state != SlotState::kRead && r.state != SlotState::kOnDisk) out.push_back(r);
  }
  return out;
}

bool CImageStore::OutOfMemory() const {
  for (const SlotReport& r : reports_) {
    if (r.state == SlotState::kNoMemory) return true;
  }
  return false;
}

std::string DescribeProblem(const CImageStore::SlotReport& r) {
  using State = CImageStore::SlotState;
  switch (r.state) {
    case State::kRead:
    case State::kOnDisk:
      return "";
    case State::kNotRead:
      return r.path + " was not read: " +
             (r.reason.empty() ? "an earlier file stopped the reading" : r.reason);
    case State::kOpenError:
      return r.path + " could not be opened: " + r.reason;
    case State::kTooLarge:
      return r.path + " is 300 MiB or larger, too large to load";
    case State::kShortRead:
      return r.path + " could not be read to its end";
    case State::kNoMemory:
      return "there is not enough memory to load " + r.path;
  }
  return r.path + " could not be read";
}
