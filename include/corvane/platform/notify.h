#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "corvane/platform/message_target.h"

// Every window message and code that the library, the plug-in and their status windows send to
// an owner window, named once. Hosts, the command-line front end, the plug-in and tests use these
// names; no other file spells the numbers.
namespace notify {

constexpr uint32_t kWmUser = 0x0400;

// 1025: status, progress, file lines and step notices. lParam of a text is the address of a
// zero-terminated string that the sender reuses after the call: copy it.
constexpr uint32_t kMsgNotify = kWmUser + 1;
constexpr platform::WPARAM kStatusText = 1001;  // lParam: text; replaces the status line
constexpr platform::WPARAM kProgress = 1002;    // lParam: 0..100 or a phase code below
constexpr platform::WPARAM kFileLine = 1003;    // lParam: text of the "File :" field
// lParam: address of a StepNotice, valid during the call. Sent besides the codes above, so a
// host that does not know it loses nothing by ignoring it.
constexpr platform::WPARAM kStepNotice = 1007;

// Phase codes of kProgress.
constexpr platform::LPARAM kProgressFailed = 200;
constexpr platform::LPARAM kProgressDisconnecting = 300;
constexpr platform::LPARAM kProgressComplete = 400;
constexpr platform::LPARAM kProgressTickerStart = 500;  // +5 every 2000 ms until 600
constexpr platform::LPARAM kProgressTickerStop = 600;

// 1004: the phone's factory data.
constexpr uint32_t kMsgFactory = 1004;
constexpr platform::WPARAM kFactoryModelName = 1005;  // lParam: zero-terminated model name
constexpr platform::WPARAM kFactoryPid = 1006;        // lParam: address of a 64-byte PID block

// From a status window to its host window; lParam is the port number.
constexpr uint32_t kMsgStatusWindowClose = 1010;   // wParam: the status window object
constexpr uint32_t kMsgStatusWindowResult = 1011;  // wParam: result of the sequence (1 or 0)
// Sent just before 1011: wParam the port number, lParam the address of the run's RunOutcome
// (run_outcome.h), valid during the call; from its version 2 on it carries the run's step record
// (each step and the status lines), from its version 3 on the phone's model name and PID. A host
// that does not know it loses nothing.
constexpr uint32_t kMsgStatusWindowOutcome = 1012;

// A window's messages to itself, never sent across the plug-in boundary.
constexpr uint32_t kMsgRelayMessageBox = kWmUser + 100;  // lParam: the relayed box
constexpr uint32_t kMsgRunEnded = kWmUser + 101;         // wParam: the entry point's result
constexpr uint32_t kMsgRunRefused = kWmUser + 102;       // lParam: the pre-flight's refusal text
constexpr uint32_t kMsgSequenceEnded = kWmUser + 110;    // wParam: the sequence's result
constexpr uint32_t kMsgWorkerEnded = kWmUser + 111;      // the worker's last send
// A status line posted by a run's routing (run_routing.h): lParam its copy, wParam the run's clock
// when it was sent. The run's record already has it.
constexpr uint32_t kMsgLoggedStatusText = kWmUser + 103;

// What a step of a run does.
enum class StepKind : uint32_t {
  kConfiguration = 1,  // reads the partition table
  kErase = 2,          // erases a range of the phone's memory; writes no file
  kPartition = 3,      // writes one file into an eMMC partition
  kModemImage = 4,     // writes one Infineon image into the modem's flash
  kFactoryImage = 5,   // writes a whole-flash image (ROM copy, NVIDIA or Infineon factory file)
  kNandImage = 6,      // writes the modem's NAND partitions from an MDM image
  kUpload = 7,         // reads the phone's memory into a file
};

enum class StepPhase : uint32_t {
  kBegin = 1,
  kAdvance = 2,  // the phone acknowledged more of the step's data
  kEnd = 3,
};

constexpr uint32_t kStepNoticeVersion = 3;
constexpr int32_t kNoFile = -1;

// One step of a run, as it begins, as the phone acknowledges its data, and as it ends. A plain
// structure with fixed-width fields. Later versions only append fields and raise `version`, so a
// reader takes any version whose `structSize` covers the fields it reads: the first version's
// fields are always there (StepNoticeOf), the later ones only where Has...() says so.
struct StepNotice {
  uint32_t structSize = sizeof(StepNotice);
  uint32_t version = kStepNoticeVersion;
  StepPhase phase = StepPhase::kBegin;
  StepKind kind = StepKind::kPartition;
  // The caller's file that the step uses, as an index into the path array (or the argument
  // order of a call that takes paths one by one); kNoFile when it uses none.
  int32_t fileIndex = kNoFile;
  int32_t succeeded = 0;      // kEnd: 1 the step did all its work, 0 it failed
  uint64_t bytesPlanned = 0;  // what the step moves; 0 while unknown
  uint64_t bytesDone = 0;     // what the phone acknowledged (or sent, for an upload) so far
  const char* name = "";      // partition, image kind or file name; valid during the call
  // Version 2. At kEnd of a step that read a file of the caller's from disk: the SHA-256 of the
  // bytes read, from the file's start on (64 lower-case hexadecimal digits, valid during the
  // call); "" when the step read no file itself (images the host passed in memory are the
  // host's to hash) and in every notice but kEnd.
  const char* sha256 = "";
  uint64_t bytesHashed = 0;  // how many bytes, from the file's start, the digest covers
  int32_t hashPartial = 0;   // 1: the file was not read to its end (the step stopped midway)
  uint32_t reserved = 0;     // keeps the size a multiple of 8 on every system; always 0
  // Version 3. At kEnd: the real microseconds the step spent in the waits its sequence makes on
  // purpose (fixed pauses, time-outs it expects to sit through: platform::PausedUs), so that a
  // phone's wait can be told apart from the host's overhead. 0 in every notice but kEnd.
  uint64_t pausedUs = 0;
};

// The size of the first version, which every notice has.
constexpr uint32_t kStepNoticeV1Size = offsetof(StepNotice, sha256);

// The notice behind an lParam of kStepNotice, or null when it is none. A notice of an older
// version is returned too: read only its first version's fields unless HasDigest says more.
inline const StepNotice* StepNoticeOf(platform::LPARAM lParam) {
  const auto* n = reinterpret_cast<const StepNotice*>(lParam);
  if (n == nullptr || n->version < 1 || n->structSize < kStepNoticeV1Size) return nullptr;
  return n;
}

// Whether the notice carries the digest fields (sha256, bytesHashed, hashPartial).
inline bool HasDigest(const StepNotice& n) {
  return n.version >= 2 && n.structSize >= offsetof(StepNotice, reserved);
}

// Whether the notice carries the step's pauses (pausedUs).
inline bool HasPauses(const StepNotice& n) {
  return n.version >= 3 && n.structSize >= sizeof(StepNotice);
}

// A copy of what the sender filled in; the fields its version lacks keep their defaults, so the
// copy never reads past a shorter notice.
inline StepNotice CopyOf(const StepNotice& n) {
  StepNotice copy;
  const size_t known = HasPauses(n)   ? sizeof(StepNotice)
                       : HasDigest(n) ? offsetof(StepNotice, reserved)
                                      : kStepNoticeV1Size;
  std::memcpy(&copy, &n, known);
  copy.structSize = sizeof(StepNotice);
  return copy;
}

}  // namespace notify
