// The port diagnosis's facts on Windows. Any user may open a COM port, so access is no question;
// a port that another program has open refuses the open (access denied), and Windows does not
// say which program holds it. There is no udev and no modem manager to ask about; what stands in
// a phone's way instead is its driver: without the maker's, Windows's generic one describes the
// port as "USB Serial Device" (which the name filter refuses), and without any driver the phone
// has no COM port at all.

#include <windows.h>

#include <algorithm>

#include "corvane/platform/process.h"
#include "corvane/platform/serial_device.h"
#include "host/port_diagnosis_system.h"

namespace diagnosis {
namespace {

constexpr const char* kGenericDriver = "USB Serial Device";
constexpr const char* kDriverAdvice =
    "install the phone maker's USB modem driver (for a phone in Qualcomm download mode, the "
    "Qualcomm HS-USB driver), then unplug the phone and plug it in again";

std::string Utf8(const wchar_t* text, size_t length) {
  if (length == 0) return "";
  const int wide = static_cast<int>(length);
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, wide, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(std::max(size, 0)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, wide, out.data(), size, nullptr, nullptr);
  return out;
}

// Every COM port present, USB or not, as the serial drivers list them in the registry.
std::vector<std::string> PresentComPorts() {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return names;
  }
  for (DWORD i = 0;; ++i) {
    wchar_t value[256];
    wchar_t data[64] = {};
    DWORD valueLength = 256;
    DWORD bytes = sizeof(data) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegEnumValueW(key, i, value, &valueLength, nullptr, &type, reinterpret_cast<BYTE*>(data),
                      &bytes) != ERROR_SUCCESS) {
      break;
    }
    const std::wstring name(data, bytes / sizeof(wchar_t));
    if (type == REG_SZ)
      names.push_back(Utf8(name.c_str(), std::min(name.size(), name.find(L'\0'))));
  }
  RegCloseKey(key);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

System System::Current() {
  System s;
  s.user = platform::UserName();
  s.selfPid = platform::ProcessId();
  return s;
}

std::string AppendLineCommand(const std::string& file, const std::string& line) {
  // PowerShell, single-quoted texts: a quote is doubled. The empty first text ends a last line
  // that has no newline, so the new line is never glued onto it.
  const auto quoted = [](const std::string& text) {
    std::string q = "'";
    for (char c : text) q += c == '\'' ? std::string("''") : std::string(1, c);
    return q + "'";
  };
  const std::string dir = file.substr(0, file.find_last_of("\\/"));
  return "powershell -NoProfile -Command \"New-Item -ItemType Directory -Force -Path " +
         quoted(dir) + " | Out-Null; Add-Content -LiteralPath " + quoted(file) + " -Value @('', " +
         quoted(line) + ")\"";
}

void ExamineSystem(const System& /*s*/, Report& r) {
  r.udevSystem = false;
  r.comPorts = PresentComPorts();
}

void ExaminePorts(const System& /*s*/, Report& r) {
  bool anyPhone = false;
  for (PortFinding& f : r.ports) {
    const std::string& path = f.entry.devicePath;
    f.canOpen = true;  // no rights stand in the way: only another program's open
    f.heldElsewhere = platform::HeldElsewhere(path);
    if (f.heldElsewhere) {
      f.problems.push_back({f.entry.portName +
                                " is held open by another program (Windows does not say which): "
                                "close it before a download, or the port cannot be opened",
                            ""});
    }
    if (!f.taken && f.entry.description.rfind(kGenericDriver, 0) == 0) {
      f.problems.push_back(
          {f.entry.portName + " has Windows's generic driver, not the phone's", kDriverAdvice});
    }
    anyPhone = anyPhone || f.taken;
  }
  if (!anyPhone) {
    r.problems.push_back(
        {"no phone port: a phone without its driver has no COM port (Device "
         "Manager shows it under \"Other devices\")",
         kDriverAdvice});
  }
}

}  // namespace diagnosis
