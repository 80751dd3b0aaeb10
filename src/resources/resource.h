/* Resource and command ids shared by varnocle.rc and the code. Plain #defines only, so
   that the resource compiler reads it too. */
#pragma once

#define IDR_POPUP_MENU 101
#define IDI_MAIL 103
#define IDI_NEW_MAIL 104

/* Commands of the popup menu. */
#define ID_EXIT 40001
#define ID_MARK_AS_READ 40002
#define ID_CHECK_NOW 40003
#define ID_CONFIGURE 40004
#define ID_SHOW_FLOATING 40005
#define ID_ABOUT 40006
/* One per account: the account at position i of the list is ID_FIRST_ACCOUNT + i. */
#define ID_FIRST_ACCOUNT 40007
#define ID_LAST_ACCOUNT 40099
