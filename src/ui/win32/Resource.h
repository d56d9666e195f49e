// Resource ids of the program. The numbers are fixed: the dialog template, the toolbar
// bitmaps and the icon are looked up by them.
#pragma once

#define IDD_MAIN 1
#define IDM_MAIN_PLACEHOLDER_MENU 1
#define IDM_PLACEHOLDER 65000
#define IDI_APP 1
#define IDB_FIRST_TOOLBAR 322
#define IDB_WATERMARK 323
