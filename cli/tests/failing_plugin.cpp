// A model plug-in whose entry points fail without a word: no status, no code, only a result of 0.
// How the download window meets a plug-in that does not report its own failure.

#include <cstdint>
#include <string>
#include <vector>

#define FAILING_API __attribute__((visibility("default")))

extern "C" {

FAILING_API const char* GetFileTypeStr(const std::string*) { return "bin"; }
FAILING_API int JudgeFile(const std::string*) { return 1; }
FAILING_API int FileDLOrder(const std::string*) { return 255; }

FAILING_API int DoDownload(void*, int, uint8_t**, int, const std::vector<std::string>*, uint32_t,
                           uint32_t) {
  return 0;
}

FAILING_API int DoFactoryDownload(void*, int, const std::string*, const std::string*, uint32_t,
                                  uint32_t) {
  return 0;
}

}  // extern "C"
