// Identifiers of the program's resources, shared by res/orvane.rc and the C++ code.
//
// The resource compiler reads this file through the C preprocessor, so it holds plain #defines and
// nothing else; C++ code uses the names as they are.
#pragma once

// Dialog templates.
#define IDD_MAIN 102
#define IDD_CONFIGURE 129
#define IDD_ABOUTBOX 130

// The application icon.
#define IDR_MAINFRAME 128

// Strings of the main window and the settings.
#define IDS_CLOCK_SET 102
#define IDS_COULD_NOT_SET 106
#define IDS_REGISTRY_KEY 107

// Strings of Set Clock where the system's automatic time synchronisation is on.
#define IDS_SYNC_KEEPS_CLOCK 110
#define IDS_SYNC_ASK 111
#define IDS_SYNC_DECLINED 112
#define IDS_SYNC_CLOCK_SET 113
#define IDS_SYNC_NOT_SET 114
#define IDS_SYNC_SET_LEFT_OFF 115
#define IDS_SYNC_NOT_SET_LEFT_OFF 116

// The server list: strings IDS_SERVER_FIRST to IDS_SERVER_FIRST + SERVER_COUNT - 1, in the order to
// which a stored list index refers.
#define IDS_SERVER_FIRST 1000
#define SERVER_COUNT 7

// Controls of the main window.
#define IDC_CONFIGURE 3
#define IDC_SET_CLOCK 1000
#define IDC_STATUS 1002
#define IDC_ABOUT 1006
#define IDC_HELP_BUTTON 1009

// Controls of the Configure dialog.
#define IDC_EXISTING_URL 1003
#define IDC_NEW_URL_RADIO 1004
#define IDC_NEW_URL 1005
#define IDC_URL_LIST 1008

// Statics that nothing addresses.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// The application-level help command, which F1 sends.
#define ID_HELP 57670

// Framework strings: help, file failures and the failure report.
#define AFX_IDS_UNNAMED_FILE 0xF006
#define AFX_IDP_FAILED_TO_LAUNCH_HELP 61703
#define AFX_IDP_FILE_NONE 0xF1A0
#define AFX_IDP_FILE_GENERIC 0xF1A1
#define AFX_IDP_FILE_NOT_FOUND 0xF1A2
#define AFX_IDP_FILE_BAD_PATH 0xF1A3
#define AFX_IDP_FILE_TOO_MANY_OPEN 0xF1A4
#define AFX_IDP_FILE_ACCESS_DENIED 0xF1A5
#define AFX_IDP_FILE_INVALID_FILE 0xF1A6
#define AFX_IDP_FILE_REMOVE_CURRENT 0xF1A7
#define AFX_IDP_FILE_DIR_FULL 0xF1A8
#define AFX_IDP_FILE_BAD_SEEK 0xF1A9
#define AFX_IDP_FILE_HARD_IO 0xF1AA
#define AFX_IDP_FILE_SHARING 0xF1AB
#define AFX_IDP_FILE_LOCKING 0xF1AC
#define AFX_IDP_FILE_DISKFULL 0xF1AD
#define AFX_IDP_FILE_EOF 0xF1AE

// The failure report's strings. C++ code has them as constants in app/Failure.h, and macros of the
// same names would break that header, so only the resource compiler sees these.
#ifdef RC_INVOKED
#define AFX_IDP_NO_ERROR_AVAILABLE 0xF020
#define AFX_IDS_MEMORY_EXCEPTION 0xF023
#define AFX_IDP_INTERNAL_FAILURE 0xF108
#define AFX_IDP_COMMAND_FAILURE 0xF109
#endif
