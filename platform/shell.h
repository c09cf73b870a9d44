// Opening documents and addresses with the desktop's handler.
#pragma once

#include "platform/CString.h"

// Results of ShellExecute below 33 are failures.
#define SE_ERR_FNF 2
#define SE_ERR_NOASSOC 31

// Opens `file` (an address such as "http://..." or a local path, in the
// ANSI code page) with the desktop's handler for it (xdg-open). The verb must
// be "open" in any case, or null; `params` are not used (no caller passes
// any). A relative path is taken relative to `dir` when given. Returns at
// once, without waiting for the handler: a value above 32 when it started,
// SE_ERR_FNF for a missing file, SE_ERR_NOASSOC when it cannot be opened.
HINSTANCE ShellExecute(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR params, LPCSTR dir, int show);
