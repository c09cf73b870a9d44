// Dialog and resource ids of the Parlet plug-in.
#pragma once

#define IDD_DLG_SHOW_PARLET 14000
#define IDD_HTML_PARLET 14001
#define IDR_HTML_PARLET 14002
#define IDB_PNG_PARLET_TITLE 14004

// The page asks its frame to close (plug-in private).
#define UM_CLOSE_PARLET_FRAME (WM_USER + 8841)  // 9865
// Asks the main window to open the chat of a record: wParam CData*, lParam 0.
#define UM_OPEN_CHAT (WM_USER + 8172)  // 9196
