#include <dlfcn.h>
#include <sys/stat.h>

#include "corvane/platform/shared_library.h"

namespace platform {

SharedLibrary::~SharedLibrary() = default;

namespace {

class PosixSharedLibrary final : public SharedLibrary {
 public:
  explicit PosixSharedLibrary(void* handle) : handle_(handle) {}
  ~PosixSharedLibrary() override { ::dlclose(handle_); }
  void* Symbol(const char* name) const override { return ::dlsym(handle_, name); }

 private:
  void* handle_;
};

}  // namespace

// A path to something other than a regular file is refused before dlopen, which would block on
// a FIFO for good. A bare name is left to the loader's search, as dlopen has it.
std::unique_ptr<SharedLibrary> SharedLibrary::Load(const std::string& path, std::string* error) {
  struct stat st {};
  if (path.find('/') != std::string::npos && ::stat(path.c_str(), &st) == 0 &&
      !S_ISREG(st.st_mode)) {
    if (error) *error = path + ": not a regular file";
    return nullptr;
  }
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    // glibc keeps the text per thread.
    if (error) *error = ::dlerror();  // NOLINT(concurrency-mt-unsafe)
    return nullptr;
  }
  return std::make_unique<PosixSharedLibrary>(handle);
}

}  // namespace platform
