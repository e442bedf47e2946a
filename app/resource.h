// The installer's resource ids: dialog templates, their controls, the icon,
// the images, the licence and the string table. Plain preprocessor numbers,
// as a Windows program keeps them beside its resource script, so that the
// resource compiler and every C++ file can include this header.
#pragma once

// Dialog templates; each also names its entry in the layout table.
#define IDD_BVLINSTALLER_DIALOG 102  // the main wizard window
#define IDD_LICENSE_VIEW 130         // licence page
#define IDD_PROGRESS_VIEW 131        // progress page
#define IDD_COMPLETE_VIEW 135        // completion page
#define IDD_STOP_DLG 137             // the message dialog

// Controls of the main window.
#define IDC_BUTTON_AGREE 1026   // "agree" on the licence page
#define IDC_BUTTON_CANCEL 1027  // "cancel" on the licence page, "OK" on the completion page
#define IDC_BUTTON_CLOSE 1028   // the close button in the title bar
#define IDC_STATIC_TITLE 1029   // the title label in the green bar

// Controls of the licence page.
#define IDC_RICHEDIT_LICENSE 1002  // the agreement
#define IDC_STATIC_INTRO 1012      // the introduction above it

// Controls of the progress page.
#define IDC_PROGRESS 1004       // the gradient bar
#define IDC_STATIC_STATUS 1023  // the current step's name
#define IDC_LIST_STATUS 1024    // one row per step outcome

// Controls of the completion page.
#define IDC_STATIC_RESULT 1013    // the result text
#define IDC_CHECK_SHORTCUT 1025   // the shortcut offer

// Controls of the message dialog.
#define IDC_BUTTON_STOP_OK 1015
#define IDC_BUTTON_STOP_CANCEL 1016
#define IDC_STATIC_STOP_TITLE 1020
#define IDC_STATIC_STOP_MESSAGE 1021

// The program's icon: the window's and its taskbar button's.
#define IDR_MAINFRAME 128

// The licence agreement, an RTF document.
#define IDR_LICENSE_RTF 200

// Images (PNG): the logo, the 90 x 25 button faces, the 18 x 18 close button.
#define IDB_LOGO 1101
#define IDB_BUTTON_GREY 1102
#define IDB_BUTTON_PALE 1103
#define IDB_BUTTON_HOVER 1104
#define IDB_BUTTON_NORMAL 1105
#define IDB_CLOSE_NORMAL 1106
#define IDB_CLOSE_PRESSED 1107
#define IDB_CLOSE_HOVER 1108
#define IDB_FIRST IDB_LOGO
#define IDB_LAST IDB_CLOSE_HOVER

// The string table (Korean; the comments give the meaning).
#define IDS_PRODUCT_NAME 301         // the product name: captions
#define IDS_OK 302                   // OK on the completion page
#define IDS_CANCEL 303               // Cancel on the licence page
#define IDS_STOP_OK 304              // OK in the message dialog
#define IDS_STOP_CANCEL 305          // Cancel in the message dialog
#define IDS_INSTALL_TITLE 306        // install the product: the title labels
#define IDS_LICENSE_INTRO 307        // the licence page's introduction
#define IDS_INSTALLING 308           // installation in progress
#define IDS_STOP_CONFIRM 309         // stop the installation?
#define IDS_INSTALL_COMPLETE 310     // the completion page's text after success
#define IDS_AGREE 311                // Agree >
#define IDS_ALREADY_INSTALLED 312    // refusal: remove the installation first
#define IDS_INSTALL_FAILED 313       // the completion page's text after a failure
#define IDS_SERVER_UNREACHABLE 314   // refusal: the server cannot be reached
#define IDS_UNSUPPORTED_OS 315       // refusal: unsupported operating system
#define IDS_NO_INSTALL_INFO 316      // refusal: no usable installation token
// The range the main window preloads; the table itself begins at 301, so
// the first id is asked for and never found.
#define IDS_FIRST 300
#define IDS_LAST IDS_NO_INSTALL_INFO
