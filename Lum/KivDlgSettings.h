// What the main window needs to apply settings: the skin picture check, the
// report of a hotkey that cannot be had, and the black-list removal text.
#pragma once

#include "platform/CString.h"

#include <set>

class CKivApp;

// Whether a skin picture file exists and decodes as an image.
bool IsSkinImageUsable(const CString& path);

// Tells the user that the read-message hotkey `value` ("Ctrl+Alt+Z") is held
// by another program and could not be registered.
void ReportHotKeyTaken(const CString& value);

// The chat panes' font from the own user's font values of the application
// (as loaded after login), and back before they are saved at shut-down.
void ApplyChatFontSettings(const CKivApp* app);
void KeepChatFontSettings(CKivApp* app);

// Erases from `blackList` every id of `ids`, ids separated by commas (empty
// items are skipped).
void RemoveBlackListIds(std::set<int>& blackList, const CString& ids);
