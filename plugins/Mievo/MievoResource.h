// Dialog, control and resource ids of the Mievo plug-in.
#pragma once

#define IDD_DIALOG_USERINFO 3100
#define IDD_HTML_USERINFO 3002
#define IDR_HTML_USERINFO 3003
#define IDD_DIALOG_HEADPHOTO 3001
#define IDD_HTML_HEADPHOTO 3004
#define IDR_HTML_HEADPHOTO 3005
#define IDB_PNG_MIEVO_TITLE 3006
#define IDB_PNG_MIEVO_OK 3003
#define IDB_PNG_MIEVO_APPLY 3005
// The profile frame's buttons.
#define IDC_BTN_MIEVO_APPLY 3000
#define IDC_BTN_MIEVO_OK 3001
