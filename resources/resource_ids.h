// Resource and control identifiers shared by the resource script and the code.
#pragma once

#define IDI_MODULE 1
#define IDI_EDITOR 100
#define IDD_EDITOR 1

#define IDS_NAME 1
#define IDS_VERSION 2
#define IDS_DESCRIPTION 3
#define IDS_ENTRY_COUNT 10
#define IDS_ENTRY_SET_USER_STATE 1000
#define IDS_ENTRY_SETUP 1001

#define IDC_RULES 101
#define IDC_NAME 102
#define IDC_IP 103
#define IDC_SEARCH 104
#define IDC_STATUS 105
#define IDC_SOUND 106
#define IDC_NICK_COLOR 203
#define IDC_NICK_SAMPLE 204
#define IDC_TEXT_COLOR 205
#define IDC_TEXT_SAMPLE 206
#define IDC_ADD 301
#define IDC_CHANGE 302
#define IDC_DELETE 303
#define IDC_UP 304
#define IDC_DOWN 305

// The notice the editor shows when the rule list cannot be saved: its
// caption, its text and its button.
#define SAVE_NOTICE_CAPTION L"Torvo: список правил"
#define IDC_NOTICE_ICON 401
#define IDC_NOTICE_TEXT 402

// The rule list's menu (a right click, Shift+F10 or the menu key) gives
// Delete, Move up and Move down their buttons' identifiers, and these.
#define IDM_COPY 501
#define IDM_PASTE 502
#define IDM_UNDO 503
// Its submenu Срок: the selected rule expires in an hour, a day, seven or
// thirty days, or never.
#define IDM_EXPIRES_HOUR 511
#define IDM_EXPIRES_DAY 512
#define IDM_EXPIRES_WEEK 513
#define IDM_EXPIRES_MONTH 514
#define IDM_EXPIRES_NEVER 515
