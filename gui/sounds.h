#pragma once

// The program's three sounds, played asynchronously (the call returns at once). Silent where
// the sound module (tarvex-sound.so beside the program), its files or an audio device are
// missing.
namespace gui {

enum class Sound { kStart = 140, kSuccess = 141, kFailure = 142 };

void PlaySound(Sound sound);

// Tests and headless runs keep quiet.
void MuteSounds();

}  // namespace gui
