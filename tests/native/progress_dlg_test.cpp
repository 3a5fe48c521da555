// The progress window on the headless backend: creation under the main
// window, its two bound controls, and the order in which it goes away.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/headless/headless.h"
#include "ui/progress_dlg.h"

namespace {

class ProgressDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A main window, as the install dialog is during a run.
    ASSERT_TRUE(main_.Create(102));
    app_.m_pMainWnd = &main_;
  }
  void TearDown() override { app_.m_pMainWnd = nullptr; }

  CWinApp app_{"INSTALL"};
  CDialog main_;
};

TEST_F(ProgressDlgTest, CreatedHiddenUnderTheMainWindowWithBothControlsBound) {
  CProgressDlg progress;
  EXPECT_EQ(progress.GetSafeHwnd(), nullptr);
  EXPECT_EQ(progress.m_progressBar.GetSafeHwnd(), nullptr);

  hl::ClearCalls();
  progress.Create(129);  // no parent, as the install run does it
  ASSERT_NE(progress.GetSafeHwnd(), nullptr);
  hl::Window* window = hl::Get(progress.GetSafeHwnd());
  EXPECT_EQ(window->id, 129);
  EXPECT_EQ(window->owner, hl::Get(main_.GetSafeHwnd()));
  EXPECT_FALSE(window->visible) << "hidden until the run shows it";
  EXPECT_EQ(hl::Get(progress.m_progressBar.GetSafeHwnd()), hl::Child(window, 1004));
  EXPECT_EQ(hl::Get(progress.m_statusText.GetSafeHwnd()), hl::Child(window, 1005));

  progress.ShowWindow(fw::kSwShow);
  EXPECT_TRUE(window->visible);
}

TEST_F(ProgressDlgTest, BindsTheBarThenTheStatusLineOnlyOnce) {
  // The exchange runs from the base initialisation; a second exchange must
  // not rebind members that already have windows.
  struct Probe : CProgressDlg {
    void Exchange() { UpdateData(false); }
  } progress;
  progress.Create(129);
  fw::WindowHandle bar = progress.m_progressBar.GetSafeHwnd();
  fw::WindowHandle status = progress.m_statusText.GetSafeHwnd();
  progress.Exchange();
  EXPECT_EQ(progress.m_progressBar.GetSafeHwnd(), bar);
  EXPECT_EQ(progress.m_statusText.GetSafeHwnd(), status);

  // Controls come into being in the order they were first asked for.
  std::vector<int> controlIds;
  for (hl::Window* w : hl::AllWindows()) {
    if (w->parent == hl::Get(progress.GetSafeHwnd())) controlIds.push_back(w->id);
  }
  EXPECT_EQ(controlIds, (std::vector<int>{1004, 1005}));
}

TEST_F(ProgressDlgTest, DestroyingTheObjectDestroysStatusLineBarAndWindowInThatOrder) {
  hl::Window* window = nullptr;
  {
    CProgressDlg progress;
    progress.Create(129);
    progress.ShowWindow(fw::kSwShow);
    window = hl::Get(progress.GetSafeHwnd());
    hl::ClearCalls();
  }
  std::vector<std::string> destroyed;
  for (const hl::Call& c : hl::CallsOf(hl::Op::kDestroyWindow)) destroyed.push_back(c.arg1);
  EXPECT_EQ(destroyed, (std::vector<std::string>{"ctl1005", "ctl1004", "dlg129"})) << hl::DumpCalls();
  EXPECT_TRUE(window->destroyed);
  EXPECT_FALSE(hl::Get(main_.GetSafeHwnd())->destroyed);
}

}  // namespace
