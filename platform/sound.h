// Short sounds: a WAV file played through the desktop's sound server.
#pragma once

#include "platform/types.h"

#define SND_ASYNC 0x0001
#define SND_NODEFAULT 0x0002
#define SND_FILENAME 0x00020000

// Plays the sound file `sound` (with SND_FILENAME; `module` is not used).
// Returns at once with SND_ASYNC. FALSE when the file is missing or cannot
// be played; a machine without a sound device or sound server is not an
// error for the caller, which goes on silently.
BOOL PlaySound(const char* sound, void* module, DWORD flags);
