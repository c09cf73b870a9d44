// The notification area (tray icon), global hotkeys and the user's idle time.
//
// All three belong to the UI thread's display connection: tray icons and
// hotkeys report back as messages to the window that registered them.
#pragma once

#include "platform/gdi.h"
#include "platform/window.h"

// ---------------------------------------------------------------- tray icon

#define NIM_ADD 0x00000000
#define NIM_MODIFY 0x00000001
#define NIM_DELETE 0x00000002

#define NIF_MESSAGE 0x00000001
#define NIF_ICON 0x00000002
#define NIF_TIP 0x00000004

// One tray icon, named by the window it reports to and its id.
struct NOTIFYICONDATA {
    DWORD cbSize = sizeof(NOTIFYICONDATA);
    HWND hWnd = nullptr;
    UINT uID = 0;
    UINT uFlags = 0;            // which of the fields below are valid (NIF_*)
    UINT uCallbackMessage = 0;  // sent to hWnd on a click: wParam uID, lParam the mouse message
    HICON hIcon = nullptr;      // null shows an empty slot
    CHAR szTip[128] = {};       // tool tip, ANSI code page
};
typedef NOTIFYICONDATA* PNOTIFYICONDATA;

// Adds, changes or removes the tray icon of (hWnd, uID). A left click on it
// sends uCallbackMessage with lParam WM_LBUTTONDOWN, a right click (or the
// desktop's menu gesture) with WM_RBUTTONUP. Where the desktop has no tray
// the icon's state is still kept and the call succeeds. Adding an icon that
// exists, or changing or removing one that does not, fails.
BOOL Shell_NotifyIcon(DWORD message, PNOTIFYICONDATA data);

// Whether the desktop shows tray icons now. Where it does not (GNOME without
// an extension for them), a window hidden to the tray could not be brought
// back by the user.
BOOL IsTrayAvailable();

// ---------------------------------------------------------------- hotkeys

#define MOD_ALT 0x0001
#define MOD_CONTROL 0x0002
#define MOD_SHIFT 0x0004

// Grabs the key `vk` ('A'..'Z', '0'..'9', VK_F1..VK_F12, space) with the
// modifiers (MOD_*) for the whole desktop; a press sends WM_HOTKEY to `hwnd`
// with wParam `id` and lParam MAKELPARAM(modifiers, vk). FALSE when the key
// is unknown, the id is taken on that window, there is no display or another
// program holds the combination.
BOOL RegisterHotKey(HWND hwnd, int id, UINT modifiers, UINT vk);
BOOL UnregisterHotKey(HWND hwnd, int id);

// ---------------------------------------------------------------- idle time

struct LASTINPUTINFO {
    UINT cbSize = sizeof(LASTINPUTINFO);
    DWORD dwTime = 0;  // GetTickCount() of the last keyboard or pointer input
};
typedef LASTINPUTINFO* PLASTINPUTINFO;

// The time of the user's last input anywhere on the display (the display
// server's idle counter); without that counter, the last input this program
// saw.
BOOL GetLastInputInfo(PLASTINPUTINFO info);

// ---------------------------------------------------------------- test hooks

namespace lumui {
struct TrayIconState {
    bool exists = false;
    HICON icon = nullptr;
    CString tip;
};
// The kept state of the tray icon (hWnd, id).
TrayIconState TrayState(HWND hwnd, UINT id);
// Delivers a click on the tray icon (WM_LBUTTONDOWN or WM_RBUTTONUP) as the
// desktop would; false when there is no such icon.
bool ClickTray(HWND hwnd, UINT id, UINT mouseMessage);
// Delivers a press of the registered hotkey as the display would; false when
// none is registered.
bool FireHotKey(HWND hwnd, int id);
// Makes GetLastInputInfo report `idleMs` of idle time; a negative value
// restores the real measure.
void SetIdleTimeOverride(long idleMs);
}  // namespace lumui
