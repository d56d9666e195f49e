// Resource ids of the program. The numbers are fixed: the dialog template, the toolbar
// bitmaps and the icon are looked up by them.
#pragma once

#define IDD_MAIN 1
#define IDM_MAIN_PLACEHOLDER_MENU 1
#define IDM_PLACEHOLDER 65000
#define IDI_APP 1
#define IDB_FIRST_TOOLBAR 322
#define IDB_WATERMARK 323

// The program's own small dialogs.
#define IDD_TEXT_ENTRY 100
#define IDD_PROGRESS 101
#define IDD_OVERWRITE 102
#define IDC_ENTRY_PROMPT 1001
#define IDC_ENTRY_TEXT 1002
#define IDC_PROGRESS_FIRST 1011
#define IDC_PROGRESS_SECOND 1012
#define IDC_PROGRESS_BAR 1013
#define IDC_OVERWRITE_TEXT 1021
#define IDC_OVERWRITE_ICON 1022
