#pragma once

// The model plug-in's boundary: plain functions with C linkage that a host loads by name, and the
// constants both sides must agree on. Strings are passed as pointers to the caller's std::string
// objects, string arrays as pointers to std::vector<std::string>; everything passed in belongs to
// the caller and is only read.

#include <cstdint>
#include <string>
#include <vector>

#include "corvane/platform/message_target.h"

#if defined(_WIN32)
#define PELLUM_API __declspec(dllexport)
#else
#define PELLUM_API __attribute__((visibility("default")))
#endif

// The version of this boundary. A plug-in returns the number it was built with from
// PluginAbiVersion; a host refuses a plug-in whose number is not its own. Raised whenever a
// signature, a structure or the meaning of an argument changes in a way an older build on the
// other side would misread (adding an optional export does not).
constexpr int kPluginAbiVersion = 1;

// The option bits of the download entry points.
constexpr uint32_t kEraseAp = 1;        // erase the whole eMMC (needs the configuration)
constexpr uint32_t kEraseCp = 2;        // erase the modem's whole flash
constexpr uint32_t kEraseUserData = 4;  // erase the user-data partition (needs the configuration)
constexpr uint32_t kEraseBits = kEraseAp | kEraseCp | kEraseUserData;

// The time-out every host passes to the entry points, in milliseconds.
constexpr uint32_t kRunTimeoutMs = 10000;

extern "C" {

// kPluginAbiVersion as the plug-in was built with it. Required: a host loads no plug-in without.
PELLUM_API int PluginAbiVersion(void);
// Optional. 1: every download entry point sends a step notice (notify::StepNotice) for each step
// it takes, naming the caller's file it writes, so a host may hold the run to them: a given file
// that no step wrote was not written, and a run without any step wrote nothing.
PELLUM_API int ReportsSteps(void);

// What an entry point tells its window (`window`, a platform::WindowHandle; every message is a
// synchronous send, and every pointer passed is valid during the call only: copy what you keep).
// The names and numbers are in corvane/platform/notify.h, the structures there and in
// corvane/platform/run_outcome.h:
//   1025 (kMsgNotify), wParam 1001 a status line, 1002 a progress or phase code, 1003 the "File :"
//        text, 1007 (kStepNotice) the address of a notify::StepNotice: one step as it begins,
//        advances and ends (kind, the caller's file index, name, bytes planned and acknowledged,
//        success). Version 2 appends, in the end notice of a step that read a caller's file from
//        its path: `sha256` (64 lower-case hexadecimal digits of the bytes read from the file's
//        start, taken as they were read, never by a second read), `bytesHashed` (how many bytes
//        that covers) and `hashPartial` (1: the file was not read to its end, as when the step
//        failed midway or the reader skipped part of it). A step that read no file of its own
//        (the configuration and the modem images come from the host's buffers, which the host
//        hashes itself) sends "", 0, 0. A reader takes any version from 1 on (StepNoticeOf) and
//        reads the digest only where notify::HasDigest says it is there.
//   1004 (kMsgFactory) the phone's factory data.
// A status window (below) tells its host, when its run has ended:
//   1012 (kMsgStatusWindowOutcome), wParam the port, lParam the address of a notify::RunOutcome:
//        verdict, result, whether a 200 came, unwritten files, reason. Version 2 appends the run's
//        step record: `stepCount` entries of `stepSize` bytes at `steps` (notify::RunStep: kind,
//        file index, ended, succeeded, begin and end on the run's clock in milliseconds, bytes
//        planned, acknowledged and hashed, whether the digest is partial, name, sha256), and
//        `lineCount` status lines at `lines` (the first and the latest of a long run, with
//        "… N lines dropped here …" between; `droppedLines` says how many). Version 3 appends
//        the phone's factory data as the window was sent it (1004): `modelName` (at most 15
//        characters) and `pid` (the PID block's first 17 bytes, up to a zero byte), each ""
//        when none came. A reader takes any version from 1 on (RunOutcomeOf), the record only
//        where notify::HasStepRecord says so, the factory data only where notify::HasFactory
//        does, and copies them during the call (notify::HistoryOf).
//   1011 (kMsgStatusWindowResult), wParam 1 passed or 0 failed, lParam the port; always after 1012.
//   1010 (kMsgStatusWindowClose) when the user presses "Window Close".

// Every wait of an entry point must end when its run is cancelled (platform::CancellationOf on the
// window it was given; the library's link waits do so already): a host that closes the window
// waits 2 s for the entry point, then abandons the run, which keeps its port busy and the plug-in
// loaded until the entry point returns, and ends the program without waiting for it.

// Normal download of `count` images (each a 32-bit length, then the file) with their paths.
// `options`: the erase bits above.
PELLUM_API int DoDownload(platform::WindowHandle window, int port, uint8_t** images, int count,
                          const std::vector<std::string>* paths, uint32_t timeout,
                          uint32_t options);
// ROM-copy download of one or two whole-flash images ("bin": eMMC, "fls": Infineon).
PELLUM_API int DoFactoryDownload(platform::WindowHandle window, int port, const std::string* first,
                                 const std::string* second, uint32_t timeout, uint32_t options);
// MDM download: the modem's NAND from the MDM image (an empty path: the application processor
// only), then the application processor's NVIDIA factory file.
PELLUM_API int DoFactoryDownloadMDM(platform::WindowHandle window, int port,
                                    const std::string* mdmPath, const std::string* apPath,
                                    uint32_t timeout);
// Reads `sectors` 512-byte sectors of the phone's memory from `address` into the file `outPath`.
PELLUM_API int DoUploadStart(platform::WindowHandle window, int port, const std::string* outPath,
                             uint32_t sectors, uint32_t address, uint32_t timeout);
// What CheckDownloadFiles checks: the files of DoDownload (`paths` as DoDownload takes them,
// `options` its option bits), of DoFactoryDownload (`paths`: the first and second path, an
// empty one for none; `options` its options) or of DoFactoryDownloadMDM (`paths`: the MDM image,
// empty for none, and the application processor's file; `options` unused).
enum : int {
  kCheckNormalDownload = 0,
  kCheckFactoryDownload = 1,
  kCheckMdmDownload = 2,
};
// What CheckDownloadFiles answers besides 1 (the files hold what the download writes).
enum : int {
  kCheckRefused = 0,      // a file does not, or the options need a file that is not given
  kCheckUnusedFiles = 2,  // usable, but no step of the download would write the files named
};
// Reads every file that the download would use with the readers its sequence uses, touching no
// phone. Besides 1, `message` (at most `messageSize` bytes with its zero) names each file and
// says why. Optional: a host calls it, when the plug-in exports it, before any phone is touched.
PELLUM_API int CheckDownloadFiles(int mode, const std::vector<std::string>* paths, uint32_t options,
                                  char* message, int messageSize);
// The status windows that run one port each inside a host window (only in a build with the
// plug-in's windows). `parent` is the host's window object (a QWidget*) in which the window is
// created at left, top, width, height; `host` receives 1010 when the user presses "Window Close"
// and 1011 with the result when the run ends. Both return 1.
// ExecuteFunction: a ROM-copy run of `first` and `second` (as DoFactoryDownload).
PELLUM_API int ExecuteFunction(platform::WindowHandle host, void* parent, const std::string* first,
                               const std::string* second, int port, int left, int top, int width,
                               int height, uint32_t options);
// DoDLExecuteFunction: a normal download of `count` images (at most kMaxStatusImages) with their
// paths (as DoDownload). The images stay the host's and must outlive the window's run.
PELLUM_API int DoDLExecuteFunction(platform::WindowHandle host, void* parent, uint8_t** images,
                                   int count, const std::vector<std::string>* paths, int port,
                                   int left, int top, int width, int height, uint32_t options);
// Fills the host's table of four entry points: slot 0 the window start of `mode` (1
// DoDLExecuteFunction, 2 ExecuteFunction, any other mode leaves it), 1 CloseStatusWindow,
// 2 ModelName, 3 LastStatusWindow. Returns 1.
PELLUM_API int _A111(void (**table)(), int mode);

// File typing for the host's file list.
PELLUM_API const char* GetFileTypeStr(const std::string* path);
PELLUM_API int JudgeFile(const std::string* path);
PELLUM_API int FileDLOrder(const std::string* text);
// The plug-in's strings for the host's labels: 1 the model name, 2 the plug-in's version; null
// for an id it does not have. The texts stay valid while the plug-in is loaded.
PELLUM_API const char* ResourceString(int id);

}  // extern "C"

// Signatures for binding the exports by name, taken from the declarations so they cannot drift.
using DoDownloadFn = decltype(&DoDownload);
using DoFactoryDownloadFn = decltype(&DoFactoryDownload);
using DoFactoryDownloadMDMFn = decltype(&DoFactoryDownloadMDM);
using DoUploadStartFn = decltype(&DoUploadStart);
using GetFileTypeStrFn = decltype(&GetFileTypeStr);
using JudgeFileFn = decltype(&JudgeFile);
using FileDLOrderFn = decltype(&FileDLOrder);
using ResourceStringFn = decltype(&ResourceString);
using CheckDownloadFilesFn = decltype(&CheckDownloadFiles);
using ExecuteFunctionFn = decltype(&ExecuteFunction);
using DoDLExecuteFunctionFn = decltype(&DoDLExecuteFunction);
using A111Fn = decltype(&_A111);
using PluginAbiVersionFn = decltype(&PluginAbiVersion);
using ReportsStepsFn = decltype(&ReportsSteps);
// What the _A111 table's slots hold. Slot 1 hides, destroys and deletes the status window (its
// run is cancelled and waited for; the host's own window must not be one that run still waits
// on) and returns 1; slot 2 returns the model's name; slot 3 the window that slot 0 created last.
using CloseStatusWindowFn = int (*)(void* window);
using ModelNameFn = const char* (*)();
using LastStatusWindowFn = void* (*)();
constexpr int kStatusSlots = 4;
constexpr int kMaxStatusImages = 20;

// The _A111 table with its slots' types: a host passes `entries` to _A111 and calls through these.
struct StatusWindowTable {
  void (*entries[kStatusSlots])() = {};

  // Slot 0 after _A111 with mode 1 or mode 2.
  DoDLExecuteFunctionFn NormalStart() const {
    return reinterpret_cast<DoDLExecuteFunctionFn>(entries[0]);
  }
  ExecuteFunctionFn RomCopyStart() const { return reinterpret_cast<ExecuteFunctionFn>(entries[0]); }
  CloseStatusWindowFn CloseWindow() const {
    return reinterpret_cast<CloseStatusWindowFn>(entries[1]);
  }
  ModelNameFn ModelName() const { return reinterpret_cast<ModelNameFn>(entries[2]); }
  LastStatusWindowFn LastWindow() const { return reinterpret_cast<LastStatusWindowFn>(entries[3]); }
};
