// GetVersionEx answers 6.2 (Windows 8) to every program without a manifest that names newer
// systems; the kernel's RtlGetVersion tells the truth, so it is asked instead.

#include <windows.h>

#include <mutex>

#include "corvane/platform/os_version.h"

namespace platform {
namespace {

using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);

std::mutex& Lock() {
  static std::mutex lock;
  return lock;
}

std::optional<OsVersion>& Override() {
  static std::optional<OsVersion> value;
  return value;
}

// Windows 8, the oldest system the programs run on, when the kernel cannot be asked.
OsVersion AskKernel() {
  OsVersion version{6, 2, 9200};
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const FARPROC proc = ntdll != nullptr ? GetProcAddress(ntdll, "RtlGetVersion") : nullptr;
  if (proc == nullptr) return version;
  // Through the generic function type, which any function pointer may be cast to and from.
  const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void (*)()>(proc));
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (rtlGetVersion(&info) != 0) return version;
  return {info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber};
}

}  // namespace

OsVersion GetOsVersion() {
  static const OsVersion real = AskKernel();
  std::lock_guard<std::mutex> guard(Lock());
  return Override() ? *Override() : real;
}

void SetOsVersionOverride(std::optional<OsVersion> version) {
  std::lock_guard<std::mutex> guard(Lock());
  Override() = version;
}

}  // namespace platform
