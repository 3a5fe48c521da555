// Resource ids, grouped by kind. Included by C++ and by the resource compiler.
#pragma once

// Dialog templates
#define IDD_INSTALL_DIALOG 102
#define IDD_PROGRESS_DIALOG 129

// Icons
#define IDR_MAINFRAME 128

// Controls of the install dialog
#define IDC_INSTALL_DIR 1000
#define IDC_PROGRAM_FOLDER 1001
#define IDC_INSTALL 1006

// Controls of the progress window
#define IDC_PROGRESS_BAR 1004
#define IDC_STATUS_TEXT 1005
