// The install dialog on real windows under Wine, in this test program's own
// process: what only the real dialog manager and controls decide. The keys
// are posted the way the keyboard delivers them, to the control that has the
// focus.
//
// Everything blocks inside the modal loops, so a thread timer (dispatched by
// the dialog's and the boxes' own loops) does the user's part.
#include <windows.h>
// The framework's members of these names must keep them.
#undef MessageBox
#undef GetWindowText
#undef SetWindowText
#undef SendMessage

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/install_app.h"
#include "engine/install_state.h"

namespace {

std::string TextOf(HWND wnd) {
  char buf[512];
  GetWindowTextA(wnd, buf, sizeof buf);
  return buf;
}

struct BoxSeen {
  std::string caption, text;
  HWND owner;
};

BOOL CALLBACK CollectText(HWND child, LPARAM param) {
  char cls[32];
  GetClassNameA(child, cls, sizeof cls);
  if (lstrcmpiA(cls, "Static") == 0 && GetWindowTextLengthA(child) > 0) {
    *reinterpret_cast<std::string*>(param) += TextOf(child);
  }
  return TRUE;
}

BOOL CALLBACK FindBox(HWND wnd, LPARAM param) {
  char cls[16];
  GetClassNameA(wnd, cls, sizeof cls);
  // A message box: a dialog with an OK or Yes button; the install dialog has neither.
  if (std::string(cls) == "#32770" && IsWindowVisible(wnd) && (GetDlgItem(wnd, IDOK) || GetDlgItem(wnd, IDYES))) {
    *reinterpret_cast<HWND*>(param) = wnd;
    return FALSE;
  }
  return TRUE;
}

// The user: once the install dialog is up, `act` runs once; every box that
// appears is recorded and answered with OK; after `act`, once no box is up
// any more, `finish` runs once (unless the dialog has gone).
struct User {
  std::function<void(HWND dialog)> act;
  std::function<void(HWND dialog)> finish;
  HWND dialog = nullptr;
  bool acted = false, finished = false;
  std::vector<BoxSeen> boxes;
  HWND lastBox = nullptr;
  int ticks = 0;
};
User* g_user = nullptr;

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  User& u = *g_user;
  if (++u.ticks > 1000 && u.dialog && IsWindow(u.dialog)) {
    // ~20 s without an end: give up rather than hang the test program.
    EndDialog(u.dialog, IDCANCEL);
    return;
  }
  HWND box = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&box));
  if (box) {
    if (box != u.lastBox) {
      u.lastBox = box;
      BoxSeen seen{TextOf(box), std::string(), GetWindow(box, GW_OWNER)};
      EnumChildWindows(box, CollectText, reinterpret_cast<LPARAM>(&seen.text));
      u.boxes.push_back(seen);
      PostMessageA(box, WM_COMMAND, GetDlgItem(box, IDOK) ? IDOK : IDYES, 0);
    }
    return;
  }
  u.lastBox = nullptr;
  if (!u.dialog) {
    HWND dialog = FindWindowA("#32770", "Brackenvue Installation");
    if (dialog && IsWindowVisible(dialog)) u.dialog = dialog;
    return;
  }
  if (!u.acted) {
    u.acted = true;
    u.act(u.dialog);
  } else if (!u.finished && u.finish && IsWindow(u.dialog)) {
    u.finished = true;
    u.finish(u.dialog);
  }
}

// Gives a control the focus and posts a key press to it, as the keyboard
// would. (On a display without a window manager Wine activates no window, so
// the focus is set here rather than relied upon.)
void PressKey(HWND dialog, int id, UINT vk) {
  SetFocus(GetDlgItem(dialog, id));
  HWND focus = GetFocus();  // a combo box passes it to its own edit field
  PostMessageA(focus, WM_KEYDOWN, vk, 1);
  PostMessageA(focus, WM_KEYUP, vk, 0xC0000001);
}

class InstallDlgWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // An empty medium: pressing Install fails at once (no setup.inf) and
    // writes nothing.
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    medium_ = std::string(temp) + "ui_install_dlg_test_medium";
    CreateDirectoryA(medium_.c_str(), nullptr);
    GetCurrentDirectoryA(sizeof previousDir_, previousDir_);
    ASSERT_TRUE(SetCurrentDirectoryA(medium_.c_str()));
    g_installState.errorText[0] = '\0';
  }
  void TearDown() override {
    SetCurrentDirectoryA(previousDir_);
    RemoveDirectoryA(medium_.c_str());
    g_user = nullptr;
  }

  // Runs the installer's start-up with the user acting on it.
  void Run(User& user) {
    g_user = &user;
    UINT_PTR timer = SetTimer(nullptr, 0, 20, Tick);
    AfxRunApplication();
    KillTimer(nullptr, timer);
  }

  std::string medium_;
  char previousDir_[MAX_PATH] = "";
};

TEST_F(InstallDlgWindowsTest, EnterInEitherFieldActsAsInstall) {
  for (int field : {1000, 1001}) {
    SCOPED_TRACE(field);
    CInstallApp app;
    User user;
    user.act = [&](HWND dialog) { PressKey(dialog, field, VK_RETURN); };
    Run(user);

    ASSERT_NE(user.dialog, nullptr);
    EXPECT_FALSE(IsWindow(user.dialog));
    ASSERT_EQ(user.boxes.size(), 2u);
    EXPECT_EQ(user.boxes[0].caption, "Error");
    EXPECT_EQ(user.boxes[0].text, "I couldn't read the installation file.");
    EXPECT_EQ(user.boxes[0].owner, nullptr);
    EXPECT_EQ(user.boxes[1].text, "The installation could not be completed.");
    EXPECT_EQ(user.boxes[1].owner, user.dialog);
  }
}

TEST_F(InstallDlgWindowsTest, EscapeEndsAtOnceWithNoItemSelected) {
  CInstallApp app;
  User user;
  int selection = 0;
  std::string folderText;
  user.act = [&](HWND dialog) {
    selection = static_cast<int>(SendMessageA(GetDlgItem(dialog, 1001), CB_GETCURSEL, 0, 0));
    folderText = TextOf(GetDlgItem(dialog, 1001));
    PressKey(dialog, 1000, VK_ESCAPE);
  };
  Run(user);

  ASSERT_NE(user.dialog, nullptr);
  EXPECT_FALSE(IsWindow(user.dialog));
  EXPECT_TRUE(user.boxes.empty());
  EXPECT_EQ(selection, CB_ERR);
  EXPECT_EQ(folderText, "Brackenvue");
}

TEST_F(InstallDlgWindowsTest, F1ShowsTheHelpBoxOwnedByTheDialog) {
  CInstallApp app;
  User user;
  // F1 reaches a window as WM_KEYF1, which the system makes of the key in its
  // own input processing (a posted WM_KEYDOWN is not turned into it); the
  // default procedure of the focused control turns it into WM_HELP, which
  // goes up to the dialog.
  constexpr UINT kWmKeyF1 = 0x004D;
  user.act = [](HWND dialog) {
    HWND field = GetDlgItem(dialog, 1000);
    SetFocus(field);
    PostMessageA(field, kWmKeyF1, 0, 0);
  };
  user.finish = [](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0); };
  Run(user);

  ASSERT_EQ(user.boxes.size(), 1u);
  EXPECT_EQ(user.boxes[0].owner, user.dialog);
  EXPECT_EQ(user.boxes[0].caption, app.m_pszAppName);
  EXPECT_NE(user.boxes[0].text.find("Program folder"), std::string::npos);
}

}  // namespace
