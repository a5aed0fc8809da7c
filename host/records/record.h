#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What lasts of one phone's run: which files went into which phone, on which station, and how
// it ended. Written by every front end for every run, whatever its end, so that a line can
// answer weeks later what a unit holds and a bench can show a customer what was written.
namespace records {

// Where a record stands: a run writes "started" when it begins and "ended" when it ends; a
// process that died between the two leaves "interrupted" (set by the next one to open the file).
inline constexpr const char* kStarted = "started";
inline constexpr const char* kEnded = "ended";
inline constexpr const char* kInterrupted = "interrupted";

// The verdict words, as `records --verdict` takes them and the record stores them.
inline constexpr const char* kPass = "pass";
inline constexpr const char* kFail = "fail";
inline constexpr const char* kCancelled = "cancelled";
inline constexpr const char* kRefused = "refused";

// One step of the run on one of the user's files (or a step that used none).
struct FileRun {
  std::string path;    // "" for a step that used no file of the user's
  uint64_t size = 0;   // the file's size when the run began
  std::string sha256;  // of the bytes the run read; "" when none were read
  uint64_t hashedBytes = 0;
  bool partial = false;  // the file was not read to its end: the digest is of what was read
  std::string stepKind;  // "partition", "boot loader", ...; "" when no step named it
  int fileIndex = -1;    // as the step notices name it
  uint64_t ackedBytes = 0;
  uint64_t durationMs = 0;
  std::string result;  // "pass", "fail", "" when no step ended for it
};

struct Phone {
  std::string port;       // "COM3 (/dev/ttyACM0)"
  std::string usbPath;    // bus-port chain, "1-1.4.2"; "" when unknown
  std::string usbIds;     // "1d6b:0106"; "" when not USB
  std::string usbSerial;  // "" when the device reports none
  std::string modelName;  // the phone's own "MODEL NAME"
  std::string pid;        // the phone's factory "PID"
};

struct Record {
  std::string id;  // a UUID, the key everywhere the record goes
  std::string state = kStarted;
  std::string station;
  std::string job;
  std::string user;
  int64_t startMs = 0;  // UTC, milliseconds since 1970
  int64_t endMs = 0;    // 0 while running
  std::string tool;
  std::string toolVersion;
  std::string plugin;
  std::string pluginVersion;
  std::string mode;  // "normal", "rom copy", "mdm", "upload"
  uint32_t erase = 0;
  bool simulated = false;
  Phone phone;
  std::vector<FileRun> files;
  std::string verdict;  // one of the verdict words; "" while running
  std::string reason;   // the outcome's one sentence; "" for a pass
  int exportResult = 0;
  std::vector<std::string> unwritten;
  std::vector<std::string> lines;  // the run's status lines as its log showed them
  bool sent = false;               // delivered to the line's server
};

// A new random (version 4) UUID in its usual text form.
std::string NewId();

// "2026-12-09T12:34:56.789Z".
std::string IsoUtc(int64_t ms);
// The plain table's local time: "2026-12-09 13:34:56".
std::string LocalTime(int64_t ms);
// Milliseconds of an ISO 8601 time ("2026-12-09", "2026-12-09T12:00", "...:56Z",
// "...:56+01:00"); UTC unless it carries an offset. False when it is none of these.
bool ParseTime(const std::string& text, int64_t& ms);

int64_t NowMs();

// This program's version, as the records name it.
const char* ToolVersion();

}  // namespace records
