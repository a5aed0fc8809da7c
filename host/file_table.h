#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The Normal D/L page's file table: 20 slots of image files, typed, judged and ordered by the
// model plug-in, kept sorted by the plug-in's download order with free slots last.
//
// The page (and tarvex-cli) add files here; the paths of the checked slots, in slot order, are
// what the image store reads and the plug-in receives.

// The plug-in's file typing, bound by the caller (the host passes the full path to Judge and
// TypeText and the bare file name to Order).
struct FileTyping {
  std::function<int(const std::string&)> judge;             // JudgeFile: 1 takes the file
  std::function<std::string(const std::string&)> typeText;  // GetFileTypeStr
  std::function<int(const std::string&)> order;             // FileDLOrder: 255 = matches nothing

  bool Complete() const { return judge && typeText && order; }
};

class FileTable {
 public:
  static constexpr int kSlots = 20;
  static constexpr uint8_t kFree = 255;     // the order code of an empty slot
  static constexpr uint8_t kUnknown = 238;  // a file whose order the plug-in does not know

  struct Slot {
    std::string path;  // empty: free
    std::string name;  // what follows the path's last separator
    std::string type;  // the plug-in's type text
    int check = 0;     // 1: to be downloaded
    uint8_t order = kFree;
    bool missing = false;  // kept from the settings while its file is not there: never ticked
  };

  enum class AddResult {
    kAdded,
    kNoPlugin,   // "At first, You should input dll file"
    kDuplicate,  // the path is listed already (ignored silently)
    kRejected,   // the plug-in's JudgeFile did not return 1 (ignored silently)
    kFull,       // "Number of file can't exceed 20"
  };

  struct DropResult {
    int added = 0;
    AddResult stoppedBy = AddResult::kAdded;  // what ended the drop early, kAdded if nothing
    std::string message;                      // the page's message, "" for none
  };

  // One row of the list as the page shows it.
  struct Row {
    int number = 0;  // 1-based
    std::string path;
    std::string type;
    std::string date;  // last write, local time, "YYYY-MM-DD hh:mm"; "" when unreadable
    std::string size;  // "%d KByte"; "" when unreadable
    bool checked = false;
    bool missing = false;  // shown greyed, not tickable
  };

  FileTable();
  explicit FileTable(FileTyping typing);

  // A table without typing takes no file (no plug-in loaded).
  void SetTyping(FileTyping typing);
  bool HasTyping() const { return typing_.Complete(); }

  AddResult AddFile(const std::string& path);
  // A file listed in the settings: added as AddFile does while it exists, else kept in a slot of
  // its own, unticked, until Refresh finds it again.
  AddResult AddListed(const std::string& path);
  // Kept files that exist again become ordinary ticked rows (or leave the list if the plug-in
  // now rejects them); true when a row changed.
  bool Refresh();
  // The paths of the kept files that are missing, in slot order.
  std::vector<std::string> MissingPaths() const;
  // Files dropped on the page at once: more than 20 adds none; a listed path ends the drop.
  DropResult Drop(const std::vector<std::string>& paths);
  void RemoveSlot(int slot);
  void RemoveAll();
  void SetCheck(int slot, bool checked);

  // Orders the slots again by the plug-in's codes (unknown names as 238, free slots last) and
  // clears the check flag of free slots.
  void RebuildFileList();

  const Slot& At(int slot) const { return slots_.at(static_cast<size_t>(slot)); }
  // Slots whose order code the plug-in knows (neither 255 nor 238).
  int FileCount() const { return fileCount_; }
  // The header of the file column: "Files to Download(%d/%d)"; a missing file counts in the
  // second number only.
  std::string Header() const;
  // The checked files among the first FileCount() slots, for the header after a check change.
  int CheckedKnownCount() const;
  // The paths of the filled and checked slots, in slot order: what a download receives.
  std::vector<std::string> CheckedPaths() const;
  // For each of CheckedPaths(): whether the plug-in reads the file's content from memory, so
  // that the host must load it. Those are the kinds the plug-in types (configuration, modem
  // images); a file it does not type is a partition image, streamed from its path.
  std::vector<bool> CheckedLoads() const;
  // The rows of the list, one per filled slot.
  std::vector<Row> Rows() const;

 private:
  void PutInFreeSlot(int slot, const std::string& path);
  int FreeSlot() const;
  bool Listed(const std::string& path) const;

  FileTyping typing_;
  std::array<Slot, kSlots> slots_{};
  int fileCount_ = 0;
  int missingCount_ = 0;  // missing files among the first fileCount_ slots
};

// The page's message for an AddFile result; "" for the results it passes over silently.
std::string AddResultMessage(FileTable::AddResult result);
