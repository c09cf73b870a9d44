// Resource and control ids of the updater.
#pragma once

#define IDR_MAINFRAME 128
#define IDD_UPDATER_DIALOG 102
#define IDC_PROGRESS_FILE 1000   // current file
#define IDC_PROGRESS_TOTAL 1001  // all files
#define IDC_LIST_FILES 1004
#define IDC_STATIC_FILE 1005
