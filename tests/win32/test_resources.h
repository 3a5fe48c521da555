// Resource ids of the test templates in test.rc, clear of the installer's own.
#pragma once

#define IDD_TEST_MODAL 900
#define IDD_TEST_MODELESS 910

#define IDC_TEST_EDIT 901
#define IDC_TEST_COMBO 902
#define IDC_TEST_BUTTON 903
#define IDC_TEST_PROGRESS 911
