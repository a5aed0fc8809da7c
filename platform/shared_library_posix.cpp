#include <dlfcn.h>

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

std::unique_ptr<SharedLibrary> SharedLibrary::Load(const std::string& path, std::string* error) {
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    // glibc keeps the text per thread.
    if (error) *error = ::dlerror();  // NOLINT(concurrency-mt-unsafe)
    return nullptr;
  }
  return std::make_unique<PosixSharedLibrary>(handle);
}

}  // namespace platform
