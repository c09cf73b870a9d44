// Dialog and resource ids of the Prefor plug-in.
#pragma once

#define IDD_DLG_SYS_SET 5000
#define IDD_HTML_SYS_SET 5001
#define IDR_HTML_SYS_SET 5002
#define IDB_PNG_SYS_SET_CANCEL 5019
#define IDB_PNG_SYS_SET_APPLY 5022
#define IDB_PNG_SYS_SET_OK 5023
#define IDB_PNG_SYS_SET_TITLE 5024

// The frame's buttons.
#define IDC_BTN_SYS_SET_OK 1
#define IDC_BTN_SYS_SET_CANCEL 2
#define IDC_BTN_SYS_SET_APPLY 5000
