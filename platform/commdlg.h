// The system's common dialogs as the client uses them: the folder browser.
// Tests answer them through a hook instead of a person.
#pragma once

#include "platform/window.h"

#include <functional>

// Shows the folder browser with `title`; returns the chosen folder (without
// a trailing separator) or "" when the user cancels.
CString BrowseForFolder(HWND owner, LPCTSTR title);

namespace lumui {
// Answers folder browsers in tests: gets the title, returns the folder or "".
void SetFolderDialogHook(std::function<CString(const CString& title)> hook);
}  // namespace lumui
