/* The dialog that the toolkit's dialog and control tests run. Plain #defines for windres. */
#pragma once

#define IDD_CONTROLS 300
#define IDC_TEXT 101
#define IDC_NUMBER 102
#define IDC_CHECK 103
#define IDC_LIST 104
#define IDC_COLOUR 105
#define IDC_LABEL 106
#define IDC_COMBO 107
#define IDC_OTHER 108
