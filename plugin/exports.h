#pragma once

// The model plug-in's boundary: plain functions with C linkage that a host loads by name.
// Strings are passed as pointers to the caller's std::string objects, string arrays as pointers
// to std::vector<std::string>; everything passed in belongs to the caller and is only read.

#include <cstdint>
#include <string>
#include <vector>

#include "corvane/platform/message_target.h"

#if defined(_WIN32)
#define PELLUM_API __declspec(dllexport)
#else
#define PELLUM_API __attribute__((visibility("default")))
#endif

extern "C" {

// Normal download of `count` images (each a 32-bit length, then the file) with their paths.
// Option bits: 1 erase the whole eMMC, 2 erase the modem's flash, 4 erase the user data.
PELLUM_API int DoDownload(HWND window, int port, uint8_t** images, int count,
                          const std::vector<std::string>* paths, uint32_t timeout,
                          uint32_t options);
// ROM-copy download of one or two whole-flash images ("bin": eMMC, "fls": Infineon).
PELLUM_API int DoFactoryDownload(HWND window, int port, const std::string* first,
                                 const std::string* second, uint32_t timeout, uint32_t options);
// MDM download: the modem's NAND from the MDM image (an empty path: the application processor
// only), then the application processor's NVIDIA factory file.
PELLUM_API int DoFactoryDownloadMDM(HWND window, int port, const std::string* mdmPath,
                                    const std::string* apPath, uint32_t timeout);
// Reads `sectors` 512-byte sectors of the phone's memory from `address` into the file `outPath`.
PELLUM_API int DoUploadStart(HWND window, int port, const std::string* outPath, uint32_t sectors,
                             uint32_t address, uint32_t timeout);
// What CheckDownloadFiles checks: the files of DoDownload (`paths` as DoDownload takes them,
// `options` its option bits), of DoFactoryDownload (`paths`: the first and second path, an
// empty one for none; `options` its options) or of DoFactoryDownloadMDM (`paths`: the MDM image,
// empty for none, and the application processor's file; `options` unused).
enum : int {
  kCheckNormalDownload = 0,
  kCheckFactoryDownload = 1,
  kCheckMdmDownload = 2,
};
// Reads every file that the download would use with the readers its sequence uses, touching no
// phone. 1: they hold what the download writes. 0: one does not, or the options need a file
// that is not given; `message` (at most `messageSize` bytes with its zero) then names the file
// and says why. Optional: a host calls it when the plug-in exports it.
PELLUM_API int CheckDownloadFiles(int mode, const std::vector<std::string>* paths, uint32_t options,
                                  char* message, int messageSize);
// The status windows that run one port each inside a host window (only in a build with the
// plug-in's windows). `parent` is the host's window object (a QWidget*) in which the window is
// created at left, top, width, height; `host` receives 1010 when the user presses "Window Close"
// and 1011 with the result when the run ends. Both return 1.
// ExecuteFunction: a ROM-copy run of `first` and `second` (as DoFactoryDownload).
PELLUM_API int ExecuteFunction(HWND host, void* parent, const std::string* first,
                               const std::string* second, int port, int left, int top, int width,
                               int height, uint32_t options);
// DoDLExecuteFunction: a normal download of `count` images (at most kMaxStatusImages) with their
// paths (as DoDownload). The images stay the host's and must outlive the window's run.
PELLUM_API int DoDLExecuteFunction(HWND host, void* parent, uint8_t** images, int count,
                                   const std::vector<std::string>* paths, int port, int left,
                                   int top, int width, int height, uint32_t options);
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
// What the _A111 table's slots hold, cast back by the host. Slot 1 hides, destroys and deletes
// the status window (its run is cancelled and waited for; the host's own window must not be
// one that run still waits on) and returns 1; slot 2 returns "TQ4410"; slot 3 the window that
// slot 0 created last.
using CloseStatusWindowFn = int (*)(void* window);
using ModelNameFn = const char* (*)();
using LastStatusWindowFn = void* (*)();
constexpr int kStatusSlots = 4;
constexpr int kMaxStatusImages = 20;
