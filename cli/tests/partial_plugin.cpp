// A model plug-in that types files like the real one but has no download entry point at all.

#include <string>

#define PARTIAL_API __attribute__((visibility("default")))

extern "C" {

PARTIAL_API const char* GetFileTypeStr(const std::string*) { return "bin"; }
PARTIAL_API int JudgeFile(const std::string*) { return 1; }
PARTIAL_API int FileDLOrder(const std::string*) { return 255; }

}  // extern "C"
