// Short sounds: a WAV file played through the desktop's sound server.
#pragma once

#include "platform/types.h"

#include <functional>

#define SND_ASYNC 0x0001
#define SND_NODEFAULT 0x0002
#define SND_FILENAME 0x00020000

// Plays the sound file `sound` (with SND_FILENAME; `module` is not used).
// Returns at once with SND_ASYNC. FALSE when the file is missing or cannot
// be played; a machine without a sound device or sound server is not an
// error for the caller, which goes on silently.
BOOL PlaySound(const char* sound, void* module, DWORD flags);

namespace lumui {
// Tests see the sounds asked for instead of hearing them (null: play).
void SetSoundHook(std::function<void(const char* file)> hook);
}  // namespace lumui
