#include <windows.h>

#include "corvane/platform/shared_library.h"
#include "platform/utf16_win32.h"

namespace platform {

SharedLibrary::~SharedLibrary() = default;

namespace {

class Win32SharedLibrary final : public SharedLibrary {
 public:
  explicit Win32SharedLibrary(HMODULE module) : module_(module) {}
  ~Win32SharedLibrary() override { FreeLibrary(module_); }
  void* Symbol(const char* name) const override {
    return reinterpret_cast<void*>(GetProcAddress(module_, name));
  }

 private:
  HMODULE module_;
};

}  // namespace

// A path is loaded with the altered search order, so that the libraries a plug-in brings beside
// it are found before any others; a bare name is left to the loader's search, as dlopen has it.
// No error box: a library that cannot load is a message to the caller, not a window.
std::unique_ptr<SharedLibrary> SharedLibrary::Load(const std::string& path, std::string* error) {
  const std::wstring name = Utf16(path);
  const bool hasDirectory = path.find_first_of("/\\:") != std::string::npos;
  const std::wstring file = hasDirectory ? FullPath(name) : name;
  if (file.empty()) {
    if (error) *error = path + ": not a usable file name";
    return nullptr;
  }
  DWORD previousMode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
  const HMODULE module =
      LoadLibraryExW(file.c_str(), nullptr, hasDirectory ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
  const DWORD code = GetLastError();
  SetThreadErrorMode(previousMode, nullptr);
  if (module == nullptr) {
    if (error) *error = path + ": " + SystemMessage(code);
    return nullptr;
  }
  return std::make_unique<Win32SharedLibrary>(module);
}

}  // namespace platform
