#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "corvane/platform/terminal.h"
#include "support/temp_dir.h"

namespace {

// Only a console is one: not a file, and not NUL, which the C library's isatty counts as one.
TEST(TerminalWin32, NeitherAFileNorNulIsAConsole) {
  testing_support::TempDir dir;
  std::FILE* file = _wfopen((dir.Path() / "out.txt").wstring().c_str(), L"w");
  ASSERT_NE(file, nullptr);
  EXPECT_FALSE(platform::IsTerminal(file));
  EXPECT_FALSE(platform::PrepareForDrawing(file));
  std::fclose(file);
  std::FILE* nul = _wfopen(L"NUL", L"w");
  ASSERT_NE(nul, nullptr);
  EXPECT_FALSE(platform::IsTerminal(nul));
  std::fclose(nul);
  EXPECT_FALSE(platform::IsTerminal(nullptr));
}

// The COM ports the system lists, by the registry rather than by the call under test.
std::vector<std::string> ListedPorts() {
  std::vector<std::string> ports;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return ports;
  }
  char name[256];
  char value[256];
  DWORD nameSize = sizeof name;
  DWORD valueSize = sizeof value;
  DWORD type = 0;
  for (DWORD i = 0; RegEnumValueA(key, i, name, &nameSize, nullptr, &type,
                                  reinterpret_cast<BYTE*>(value), &valueSize) == ERROR_SUCCESS;
       ++i, nameSize = sizeof name, valueSize = sizeof value) {
    if (type == REG_SZ) ports.emplace_back(value);
  }
  RegCloseKey(key);
  return ports;
}

// The ports the system lists (Wine lists COM1 for /dev/ttyS0) are terminal devices by either of
// their names, judged without opening them; a device that is no port (NUL) is not one.
TEST(TerminalWin32, TheSystemsComPortsAreTerminalDevicesAndNulIsNot) {
  const std::vector<std::string> ports = ListedPorts();
  for (const std::string& port : ports) {
    EXPECT_TRUE(platform::IsTerminalDevice("\\\\.\\" + port)) << port;
    std::string lower = port;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(platform::IsTerminalDevice(lower)) << lower;
  }
  EXPECT_FALSE(platform::IsTerminalDevice("\\\\.\\COM250"));
  EXPECT_FALSE(platform::IsTerminalDevice("\\\\.\\NUL"));
  EXPECT_FALSE(platform::IsTerminalDevice("C:\\windows"));
  if (ports.empty()) GTEST_SKIP() << "the system lists no COM port";
}

}  // namespace
