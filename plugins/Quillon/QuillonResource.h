// Dialog and resource ids of the Quillon plug-in.
#pragma once

#define IDD_DLG_SHOW_QUILLON 15000
#define IDD_HTML_QUILLON 15001
#define IDR_HTML_QUILLON 15002
#define IDB_PNG_QUILLON_TITLE 15019
#define IDD_HTML_VIEW_HIS_MSG 15020
#define IDR_HTML_VIEW_HIS_MSG 15021
#define IDD_DLG_VIEW_HIS_MSG 15024
