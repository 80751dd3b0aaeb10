/* Ids of the account dialogs and their items. Plain #defines only, for the resource
   compiler too. */
#pragma once

#define IDD_ACCOUNT 102
#define IDD_ACCOUNTS 106

/* Account details (102). */
#define IDC_HOST 1001
#define IDC_USER 1002
#define IDC_PASSWORD 1003
#define IDC_MAIL_PROGRAM 1004
#define IDC_MAIL_PROGRAM_BROWSE 1005
#define IDC_INTERVAL 1006
#define IDC_SSL 1007
#define IDC_PORT 1008
#define IDC_CHECK_HOST 1012
#define IDC_PROVIDER 1018
#define IDC_SIGN_IN 1024   /* in place of the password for providers that sign in */
#define IDC_SIGNED_IN 1025 /* who is signed in, or that the browser is awaited */
#define IDC_PASSWORD_LABEL 1026

/* Accounts (106). */
#define IDC_SOUND_FILE 1009
#define IDC_SOUND_BROWSE 1010
#define IDC_COLOUR 1011
#define IDC_PLAY_SOUND 1013
#define IDC_CHANGE_COLOUR 1014
#define IDC_ADD 1017
#define IDC_REMOVE 1019
#define IDC_EDIT 1020
#define IDC_ACCOUNT_LIST 1021
#define IDC_UP 1022
#define IDC_DOWN 1023
#define IDC_NOTIFY 1024
#define IDC_NOTIFY_DETAILS 1025
