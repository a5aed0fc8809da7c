#pragma once

#include <functional>
#include <string>

#include "corvane/platform/export.h"

// Message boxes raised by the library and the plug-in ("Done!", ...) go through one replaceable
// hook: the GUI host shows a dialog, the command-line front end prints the text, tests record it.
namespace platform {

using MessageBoxHook = std::function<void(const std::string& text, const std::string& caption)>;

// Shows `text` through the current hook (by default: printed to standard error).
CORVANE_API void ShowMessageBox(const std::string& text, const std::string& caption = "");

// Installs `hook` (an empty one restores the default) and returns the previous one.
CORVANE_API MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

}  // namespace platform
