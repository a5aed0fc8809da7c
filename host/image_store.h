#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The images of a normal download, read into memory before the run so that the plug-in gets
// ready buffers. Only files whose content the plug-in reads from memory are loaded; the others
// (partition images, which it streams from their paths while it writes them) are checked to be
// readable and left on disk, their slot null: loading them would only hold up to gigabytes the
// plug-in never looks at, and keep a partition of 300 MiB or more from being flashed at all.
//
// Slot i holds the image of the i-th path of the last read: a 32-bit little-endian length, then
// the file's bytes. The store owns the buffers; they stay valid until the next FreeImages, the
// next read into the same slot, or the store's destruction. Callers only borrow them.
//
// Reading runs on a thread of its own in the host; the reading-complete flag is the only thing
// other threads look at, and they take the buffers only after it reads 1 (it is written last).
class CImageStore {
 public:
  static constexpr size_t kSlots = 20;
  // Files to be loaded of this size or larger are not (the slot stays null, without a message).
  static constexpr uint64_t kTooLarge = 0x12C00000;

  // What became of one path of the last read.
  enum class SlotState {
    kNotRead,    // not reached: an earlier file stopped the read, or there is no slot for it
    kRead,       // the slot holds its image
    kOpenError,  // could not be opened or sized ("File Open Error")
    kTooLarge,   // kTooLarge bytes or more, and to be loaded
    kOnDisk,     // not to be loaded: readable, left for the plug-in to stream from its path
    kShortRead,  // fewer bytes arrived than the file's length ("We can't read ")
    kNoMemory,   // the buffer could not be allocated
  };

  struct SlotReport {
    std::string path;
    SlotState state = SlotState::kNotRead;
    std::string reason;  // the system's description of a file error
  };

  CImageStore() = default;
  virtual ~CImageStore();
  CImageStore(const CImageStore&) = delete;
  CImageStore& operator=(const CImageStore&) = delete;

  // Frees the images of the last read, then reads path i into slot i; a path whose `load` entry
  // is false only has to open (no entries: every path is loaded). Returns 1 when every path was
  // handled (the flag becomes 1), 0 when a short read or exhausted memory stopped it (the flag
  // stays 0).
  int ReadImages(const std::vector<std::string>& paths, const std::vector<bool>& load = {});
  // Frees every buffer and clears the flag.
  void FreeImages();

  int ReadingComplete() const { return complete_.load(std::memory_order_acquire); }
  // Whether the last read has ended, complete or not: a window waiting for the images must not
  // wait for a read that a short file or exhausted memory stopped. Written last, like the flag
  // above; the reports may be read once it is true.
  bool ReadingEnded() const { return ended_.load(std::memory_order_acquire); }
  // The host clears the flags before it starts a reading thread, so that a window opened right
  // after never sees the flags of an earlier read.
  void ClearReadingComplete() {
    complete_.store(0, std::memory_order_release);
    ended_.store(false, std::memory_order_release);
  }

  // The buffer of slot i, or null.
  uint8_t* Image(size_t slot) const;
  // The pointers of slots 0 .. count-1, as the plug-in takes them.
  std::vector<uint8_t*> Images(size_t count) const;

  // One report per path of the last read.
  const std::vector<SlotReport>& Reports() const { return reports_; }
  // The reports of the paths that have no image (empty when every path was read).
  std::vector<SlotReport> Problems() const;
  // Whether the last read ran out of memory (the host ends the program then).
  bool OutOfMemory() const;

 private:
  SlotState ReadOne(size_t slot, const std::string& path, bool load, std::string& reason);

  std::array<std::unique_ptr<uint8_t[]>, kSlots> slots_{};
  std::vector<SlotReport> reports_;
  std::atomic<int> complete_{0};
  std::atomic<bool> ended_{false};
};

// A sentence that says why a path has no image ("" for a path that was read).
std::string DescribeProblem(const CImageStore::SlotReport& report);
