// Resource and control ids of the client's own windows, and the dialog
// templates of the login window, the login-progress window and the main
// window (registered in code with the client's module).
#pragma once

#include "platform/types.h"

// Dialog templates.
#define IDD_KIV_DIALOG 102     // the main window
#define IDD_DLG_LOGINING 129   // the login-progress window
#define IDD_DLG_LOGIN 136      // the login window

// Images (resources.txt).
#define IDI_MAIN 128
#define IDI_OFFLINE 184
#define IDB_BMP_LOGIN_BG 130
#define IDB_BMP_LOGINING_BG 131
#define IDB_PNG_CANCEL 132
#define IDB_PNG_RELOGIN 133
#define IDB_PNG_CLOSE 134
#define IDB_PNG_MIN 135
#define IDB_PNG_HEAD_40 137
#define IDB_PNG_LOGIN 138
#define IDB_PNG_EXPAND 139
#define IDB_PNG_DELETE_ACCOUNT 140
#define IDB_PNG_MENU_MAIN 141
#define IDB_PNG_TOOL_SMS 142
#define IDB_PNG_TOOL_SKIN 143
#define IDB_PNG_TOOL_MESSAGES 146
#define IDB_PNG_SEARCH 148
#define IDB_PNG_HEAD_DEFAULT 149
#define IDB_PNG_TAB_FRIENDS 150
#define IDB_PNG_TAB_GROUPS 151
#define IDB_PNG_TAB_STRANGERS 152
#define IDR_GIF_LOGINING 154
#define IDB_PNG_REMEMBER_ON 179
#define IDB_PNG_REMEMBER_OFF 180
#define IDB_PNG_AUTOLOGIN_ON 181
#define IDB_PNG_AUTOLOGIN_OFF 182
#define IDB_PNG_FINDPWD 186
#define IDB_PNG_HELP 187
#define IDB_PNG_STATUS_ONLINE 188
#define IDB_PNG_STATUS_AWAY 189
#define IDB_PNG_STATUS_OFFLINE 190
#define IDB_PNG_TOOL_HISTORY 205

// Login window and login-progress window.
#define IDC_BTN_LOGIN 1            // "登录" / "重新登录"
#define IDC_BTN_EXPAND 2           // "展开" / "取消"
#define IDC_GIF_LOGINING 1000
#define IDC_BTN_MIN 1001
#define IDC_BTN_CLOSE 1002
#define IDC_PIC_HEAD 1003
#define IDC_EDIT_ACCOUNT 1004
#define IDC_EDIT_PASSWORD 1005
#define IDC_LIST_LOGINER 1006
#define IDC_STATIC_FAILURE 1007
#define IDC_BTN_REMEMBER 1040
#define IDC_BTN_AUTOLOGIN 1042
#define IDC_BTN_FINDPWD 1044
#define IDC_BTN_HELP 1045
#define IDC_BTN_LOGIN_STATUS 1046

// Main window.
#define IDC_BTN_SEARCH 1
#define IDC_BTN_MESSAGES 1008
#define IDC_BTN_SMS 1009
#define IDC_BTN_SETTINGS 1010
#define IDC_BTN_HISTORY 1011
#define IDC_BTN_SKIN 1012
#define IDC_EDIT_SEARCH 1013
#define IDC_BTN_TAB_FRIENDS 1014
#define IDC_BTN_TAB_GROUPS 1015
#define IDC_BTN_TAB_STRANGERS 1016
#define IDC_LIST_FRIENDS 1017
#define IDC_LIST_STRANGERS 1018
#define IDC_LIST_GROUPS 1019
#define IDC_LINK_TOPIC 1020
#define IDC_BTN_MAIN_MENU 1021
#define IDC_BTN_STATUS 1047

// Registers the three templates with the client's module; later calls do
// nothing.
void RegisterLumDialogTemplates();
