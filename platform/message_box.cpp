#include "corvane/platform/message_box.h"

#include <cstdio>
#include <mutex>

namespace platform {
namespace {

std::mutex& HookLock() {
  static std::mutex lock;
  return lock;
}

MessageBoxHook& Hook() {
  static MessageBoxHook hook;
  return hook;
}

void PrintToStderr(const std::string& text, const std::string& caption) {
  if (caption.empty()) {
    std::fprintf(stderr, "[message] %s\n", text.c_str());
  } else {
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
  }
}

}  // namespace

void ShowMessageBox(const std::string& text, const std::string& caption) {
  MessageBoxHook hook;
  {
    std::lock_guard<std::mutex> guard(HookLock());
    hook = Hook();
  }
  // The hook runs unlocked: a dialog may take its time, and other workers must not wait for it.
  if (hook) {
    hook(text, caption);
  } else {
    PrintToStderr(text, caption);
  }
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
  std::lock_guard<std::mutex> guard(HookLock());
  MessageBoxHook previous = std::move(Hook());
  Hook() = std::move(hook);
  return previous;
}

}  // namespace platform
