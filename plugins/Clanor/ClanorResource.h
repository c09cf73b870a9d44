// Dialog, control and resource ids of the Clanor plug-in.
#pragma once

#define IDD_DIALOG_GRPINFO 6000
#define IDD_HTML_GRPINFO 6001
#define IDR_HTML_GRPINFO 6002
#define IDR_HTML_GRPINFO_PAGING 6016
#define IDB_PNG_CLANOR_TITLE 6017
#define IDB_PNG_CLANOR_OK 6011
#define IDB_PNG_CLANOR_CANCEL 6012
#define IDB_PNG_CLANOR_APPLY 6013
// The frame's buttons.
#define IDC_BTN_CLANOR_OK 6000
#define IDC_BTN_CLANOR_CANCEL 6001
#define IDC_BTN_CLANOR_APPLY 6002
