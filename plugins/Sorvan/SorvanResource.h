// Dialog, resource, command and message ids of the Sorvan plug-in.
#pragma once

#include "platform/msgdef.h"

// The result windows.
#define IDD_DLG_SHOW_RESULT 7000
#define IDD_HTML_FRIEND 7001
#define IDR_HTML_FRIEND 7002
#define IDD_HTML_GROUP 7003
#define IDR_HTML_GROUP 7005
#define IDD_DLG_SHOW_GROUP_RESULT 7013
#define IDC_BTN_ADD_SELECTED_FRIEND 7004
#define IDC_BTN_JOIN_SELECTED_GROUP 7005
#define IDB_PNG_ADD_FRIEND 7013
#define IDB_PNG_JOIN_GROUP 7015
#define IDB_PNG_TITLE_USER 7016
#define IDB_PNG_TITLE_GROUP 7017
// Scripts of the result pages: paging, and rows with selection, add and join.
#define IDR_JS_PAGING 7009
#define IDR_JS_ROWS 7010

// The add-friend and invitation windows.
#define IDD_HTML_INVITE 7019
#define IDR_HTML_INVITE 7020
#define IDD_DLG_INVITE 7021
#define IDD_DLG_ADD_FRIEND 7022
#define IDD_HTML_ADD_FRIEND 7023
#define IDR_HTML_ADD_FRIEND 7024
#define IDB_PNG_OK 7027
#define IDB_PNG_CANCEL 7028
#define IDB_PNG_VIEW 7029

// To the main window: a contact was added (wParam CDataUser*, lParam 0).
#define UM_ADD_CONTACT (WM_USER + 8065)  // 9089
// Frame to page: add the selected friend / join the selected group.
#define UM_ADD_SELECTED_FRIEND (WM_USER + 8051)  // 9075
#define UM_JOIN_SELECTED_GROUP (WM_USER + 8052)  // 9076
// Page to frame: close the invitation / add-friend frame.
#define UM_CLOSE_INVITE_FRAME (WM_USER + 8252)      // 9276
#define UM_CLOSE_ADD_FRIEND_FRAME (WM_USER + 8253)  // 9277
