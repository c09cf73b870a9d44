// Dialog and resource ids of the Bellwick plug-in.
#pragma once

#define IDD_DLG_STANDARD_SMS 1007
#define IDD_HTML_STANDARD_SMS 1008
#define IDR_HTML_STANDARD_SMS 1009
#define IDD_DLG_FAST_SMS 1010
#define IDD_HTML_FAST_SMS 1011
#define IDR_HTML_FAST_SMS 1012
#define IDB_PNG_SMS_TITLE 1012

// The fast page tells its frame that the notice was sent (plug-in private).
#define UM_SMS_SENT (WM_USER + 23592)  // 24616
