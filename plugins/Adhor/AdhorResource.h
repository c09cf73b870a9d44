// Dialog, resource, command and message ids of the Adhor plug-in.
#pragma once

#include "platform/msgdef.h"

// The group frame and its page: create, success and member-search pages.
#define IDD_DLG_GROUP_ADD 4001
#define IDD_HTML_GRP_ADD 4000
#define IDR_HTML_CREATE 4001
#define IDR_HTML_SUCCESS 4006
#define IDR_HTML_MEMBER 4008

// The invitation frame and its page; 4011 is also the sent-tip page.
#define IDD_DLG_INVITE 4010
#define IDD_HTML_INVITE 4011
#define IDR_HTML_SENT 4011
#define IDR_HTML_INVITE 4012

// The group frame's buttons.
#define IDC_BTN_SUBMIT 4000
#define IDC_BTN_RESET 4001
#define IDC_BTN_ADD_MEMBERS 4002
#define IDC_BTN_SUCCESS_CLOSE 4003
#define IDC_BTN_PASS_SELECTION 4004
#define IDC_BTN_MEMBER_CLOSE 4005
#define IDC_BTN_PREV_PAGE 4006
#define IDC_BTN_NEXT_PAGE 4007

// Images: button strips, the search rows' details button, the title icon.
#define IDB_PNG_OK 4012
#define IDB_PNG_CLOSE 4013
#define IDB_PNG_RESET 4015
#define IDB_PNG_ADD_MEMBERS 4016
#define IDB_PNG_DETAIL 4021
#define IDB_PNG_NEXT 4024
#define IDB_PNG_PREV 4025
#define IDB_PNG_TITLE 4027

// To the main window: a group was created (wParam CDataGroup*, lParam 0).
#define UM_GROUP_CREATED (WM_USER + 9101)  // 10125
