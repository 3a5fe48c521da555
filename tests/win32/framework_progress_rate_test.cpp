// The progress bar of a framework dialog under Wine: every position the
// program sends is answered and kept exactly, while the control draws at a
// bounded rate; a position kept back is drawn by the paint pump.
//
// The drawing is seen by a second subclass put on top of the framework's: the
// control's own repaint (UpdateWindow inside PBM_SETPOS) sends WM_PAINT to the
// window's procedure, which is then this counter.
#include <windows.h>
#include <commctrl.h>
// The framework's members of these names must keep them (see win32_api.h).
#undef MessageBox
#undef GetWindowText
#undef SetWindowText
#undef SendMessage

#include <gtest/gtest.h>

#include "platform/framework.h"
#include "platform/services.h"
#include "ui/resource_ids.h"

namespace {

HWND H(fw::WindowHandle wnd) { return reinterpret_cast<HWND>(wnd); }

WNDPROC g_below = nullptr;
int g_paints = 0;

LRESULT CALLBACK CountPaints(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_PAINT) ++g_paints;
  return CallWindowProcA(g_below, wnd, msg, wParam, lParam);
}

class ProgressRateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(progress_.Create(IDD_PROGRESS_DIALOG));
    progress_.ShowWindow(fw::kSwShow);
    bar_ = GetDlgItem(H(progress_.m_hWnd), IDC_PROGRESS_BAR);
    ASSERT_NE(bar_, nullptr);
    g_below = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(bar_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountPaints)));
    SendMessageA(bar_, PBM_SETRANGE, 0, MAKELPARAM(0, 1000));
    // The first drawing of the shown window, so that no paint is pending.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageA(&msg);
    g_paints = 0;
  }
  void TearDown() override {
    if (bar_ && IsWindow(bar_)) SetWindowLongPtrA(bar_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_below));
  }
  CWinApp app_{"Tester"};
  CDialog progress_;
  HWND bar_ = nullptr;
};

TEST_F(ProgressRateTest, EveryPositionIsAnsweredAndKeptWhileDrawingIsBounded) {
  DWORD start = GetTickCount();
  LRESULT previous = SendMessageA(bar_, PBM_SETPOS, 1, 0);
  EXPECT_EQ(previous, 0);
  for (int pos = 2; pos <= 1000; ++pos) {
    // The control's answer: the position before, whether drawn or kept.
    ASSERT_EQ(SendMessageA(bar_, PBM_SETPOS, pos, 0), pos - 1);
  }
  DWORD elapsed = GetTickCount() - start;
  // One drawing at most per 50 ms, plus the first.
  EXPECT_LE(g_paints, static_cast<int>(elapsed / 50) + 2) << "in " << elapsed << " ms";
  EXPECT_EQ(SendMessageA(bar_, PBM_GETPOS, 0, 0), 1000);
}

TEST_F(ProgressRateTest, KeptPositionsAreClampedToTheRangeAsTheControlDoes) {
  SendMessageA(bar_, PBM_SETPOS, 10, 0);
  EXPECT_EQ(SendMessageA(bar_, PBM_SETPOS, 5000, 0), 10);
  EXPECT_EQ(SendMessageA(bar_, PBM_SETPOS, 20, 0), 1000);
  EXPECT_EQ(SendMessageA(bar_, PBM_SETPOS, -3, 0), 20);
  EXPECT_EQ(SendMessageA(bar_, PBM_GETPOS, 0, 0), 0);
  // A new range applies to what was kept before it.
  SendMessageA(bar_, PBM_SETPOS, 700, 0);
  SendMessageA(bar_, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  EXPECT_EQ(SendMessageA(bar_, PBM_GETPOS, 0, 0), 100);
}

TEST_F(ProgressRateTest, TheBusyPaintPumpDrawsAKeptPosition) {
  SendMessageA(bar_, PBM_SETPOS, 1, 0);
  SendMessageA(bar_, PBM_SETPOS, 2, 0);  // within the interval: kept
  int before = g_paints;
  Sleep(120);
  plat::PumpPaintMessages();
  EXPECT_GT(g_paints, before) << "the kept position was not drawn";
  // Given to the control, not only answered for it: the control's own
  // procedure reports it.
  EXPECT_EQ(CallWindowProcA(g_below, bar_, PBM_GETPOS, 0, 0), 2);
}

}  // namespace
