#pragma once

#include <string>

#include "corvane/platform/path.h"

namespace win32_test {

using platform::PathOf;
using platform::Utf8Of;

// "file" in Hangul: a name the ANSI code page cannot carry.
inline const std::string kHangul = "\xED\x8E\x8C\xEC\x9D\xBC";

}  // namespace win32_test
