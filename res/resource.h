// res/resource.h: resource ids shared by saver.rc and the code.
// Only #defines: windres reads this file as well as the compiler.
#pragma once

// Strings. String 1 is the saver's name in the display settings' list.
#define IDS_TITLE 1

// Base (English) ids of the dialog texts; every other language's block holds
// the same eight texts at a fixed offset from these.
#define IDS_SETUP_CAPTION   114
#define IDS_RANDOM          115
#define IDS_LAYOUT_LABEL    116
#define IDS_OK              117
#define IDS_CANCEL          118
#define IDS_PASSWORD_PROMPT 119
#define IDS_NO_PASSWORDS    120
#define IDS_MUTE            121

// Icons
#define IDI_SAVER 100

// Bitmaps
#define IDB_BUTTON_NORMAL   109
#define IDB_BUTTON_PRESSED  110
#define IDB_TITLE           111
#define IDB_BUTTON_DISABLED 112

// Dialogs
#define IDD_SETUP 2003

// Controls of the setup dialog (OK and Cancel are IDOK and IDCANCEL)
#define IDC_LAYOUT_LIST  1000
#define IDC_LAYOUT_LABEL 1001
#define IDC_RANDOM       1002
#define IDC_MUTE         1004
