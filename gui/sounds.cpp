#include "gui/sounds.h"

#include <memory>
#include <string>

#include "corvane/platform/process.h"
#include "corvane/platform/shared_library.h"

namespace gui {
namespace {

using PlayFn = void (*)(const char*);

bool g_muted = false;

// Loaded once, on the GUI thread, at the first sound.
PlayFn Player() {
  static std::unique_ptr<platform::SharedLibrary> module;
  static PlayFn play = nullptr;
  static bool tried = false;
  if (!tried) {
    tried = true;
    std::string error;
    module = platform::SharedLibrary::Load(
        platform::ExecutableDirectory() + "/tarvex-sound" + platform::kLibrarySuffix, &error);
    if (module) play = module->Bind<PlayFn>("TarvexPlaySound");
  }
  return play;
}

const char* FileName(Sound sound) {
  switch (sound) {
    case Sound::kStart:
      return "start.wav";
    case Sound::kSuccess:
      return "success.wav";
    case Sound::kFailure:
      return "failure.wav";
  }
  return "";
}

}  // namespace

void PlaySound(Sound sound) {
  if (g_muted) return;
  if (PlayFn play = Player()) {
    play((platform::ExecutableDirectory() + "/sounds/" + FileName(sound)).c_str());
  }
}

void MuteSounds() { g_muted = true; }

}  // namespace gui
