// Windows consoles. A console is told from a file, a pipe or NUL by its console mode (the C
// library's isatty also says yes for NUL). Progress bars need the virtual-terminal sequences,
// which consoles before Windows 10 lack; what the programs print is UTF-8, which the console
// shows as such only with its output code page set to it. Both are put back at exit: the console
// is the user's shell's as well.

#include <windows.h>

#include <io.h>

#include <cctype>
#include <cstdlib>

#include "corvane/platform/terminal.h"
#include "platform/utf16_win32.h"

namespace platform {
namespace {

HANDLE ConsoleOf(std::FILE* stream) {
  if (stream == nullptr) return nullptr;
  const int fd = ::_fileno(stream);
  if (fd < 0) return nullptr;
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

struct Restore {
  HANDLE console = nullptr;
  DWORD mode = 0;
  UINT codePage = 0;
};

Restore& Saved() {
  static Restore saved;
  return saved;
}

void PutBack() {
  const Restore& saved = Saved();
  if (saved.console != nullptr) SetConsoleMode(saved.console, saved.mode);
  if (saved.codePage != 0) SetConsoleOutputCP(saved.codePage);
}

// "COM3" after an optional "\\.\": a serial port's name.
bool IsPortName(const std::string& name) {
  if (name.size() < 4) return false;
  for (size_t i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return false;
  }
  for (size_t i = 3; i < name.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(name[i])) == 0) return false;
  }
  return name[3] != '0';
}

}  // namespace

bool IsTerminal(std::FILE* stream) { return ConsoleOf(stream) != nullptr; }

// Once per program: the first console's settings are the ones put back.
bool PrepareForDrawing(std::FILE* stream) {
  const HANDLE console = ConsoleOf(stream);
  if (console == nullptr) return false;
  Restore& saved = Saved();
  if (saved.console == nullptr) {
    saved.console = console;
    GetConsoleMode(console, &saved.mode);
    saved.codePage = GetConsoleOutputCP();
    std::atexit(PutBack);
  }
  SetConsoleOutputCP(CP_UTF8);
  DWORD mode = 0;
  return GetConsoleMode(console, &mode) &&
         SetConsoleMode(console,
                        mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

// Asked of the system's device names, without opening the port.
bool IsTerminalDevice(const std::string& path) {
  const std::string name = path.rfind("\\\\.\\", 0) == 0 ? path.substr(4) : path;
  if (!IsPortName(name)) return false;
  const std::wstring wide = Utf16(name);
  wchar_t target[1024];
  return QueryDosDeviceW(wide.c_str(), target, 1024) != 0;
}

}  // namespace platform
