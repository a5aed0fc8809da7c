// Libraries loaded by path (Hangul included) or by name, with the loader's words on failure.

#include <gtest/gtest.h>

#include <cstdlib>

#include "corvane/platform/shared_library.h"
#include "support/temp_dir.h"
#include "win32/wide_names.h"

namespace {

using win32_test::kHangul;
using win32_test::Utf8Of;

TEST(SharedLibraryWin32, AMissingLibraryIsNamedInTheError) {
  testing_support::TempDir dir;
  const std::string path = Utf8Of(dir.Path()) + "/" + kHangul + "/model.dll";
  std::string error;
  EXPECT_FALSE(platform::SharedLibrary::Load(path, &error));
  EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
  EXPECT_GT(error.size(), path.size() + 2) << "the system's reason follows the name";
}

TEST(SharedLibraryWin32, ASystemLibraryBindsItsExportsByNameAndByPath) {
  std::string error;
  const auto byName = platform::SharedLibrary::Load("kernel32.dll", &error);
  ASSERT_TRUE(byName) << error;
  EXPECT_NE(byName->Symbol("GetTickCount64"), nullptr);
  EXPECT_EQ(byName->Symbol("NoSuchExportAnywhere"), nullptr);
  // As the programs name a module beside them: a directory joined with '/'.
  const char* root = std::getenv("SystemRoot");  // NOLINT(concurrency-mt-unsafe)
  ASSERT_NE(root, nullptr);
  const auto byPath =
      platform::SharedLibrary::Load(std::string(root) + "/system32/kernel32.dll", &error);
  ASSERT_TRUE(byPath) << error;
  using TickFn = unsigned long long(__stdcall*)();
  const auto tick = byPath->Bind<TickFn>("GetTickCount64");
  ASSERT_NE(tick, nullptr);
  EXPECT_GT(tick(), 0u);
}

}  // namespace
