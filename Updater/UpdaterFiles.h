// File helpers of the updater: which names from the version list may be
// installed, how a name goes into a download address, and the checks a
// downloaded file must pass before it replaces an installed one.
#pragma once

#include "platform/CString.h"

#include <cstdint>

// A name from the version list may name only a file inside the program
// folder: a relative path of segments separated by "/", none of them empty,
// "." or "..", none holding a backslash or a control character. Anything
// else could write outside the install.
bool IsSafeFileName(const CString& name);

// The name as the path of an address: its "/" separate the segments; other
// bytes than letters, digits and "-._~" are written as %XX.
CString EncodeUrlName(const CString& name);

// Size of a file in bytes, or -1 when it cannot be read.
int64_t FileSizeOf(const CString& path);

// Lower-case hex MD5 digest of a file's bytes; empty when it cannot be read.
CString FileMd5(const CString& path);
