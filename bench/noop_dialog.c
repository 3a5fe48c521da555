/* The no-op dialog program: the least a dialog program can do before its
 * window is on the screen. It runs dialog template 102 modally and does
 * nothing else; IDCANCEL ends it. Built with the installer's own resources
 * where they exist, so the start-up comparison measures only the work the
 * installer adds (its run-time library, its framework, its dialog setup). */
#include <windows.h>

static INT_PTR CALLBACK NoopProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_INITDIALOG) return TRUE;
  if (msg == WM_COMMAND && LOWORD(wp) == IDCANCEL) {
    EndDialog(hwnd, IDCANCEL);
    return TRUE;
  }
  return FALSE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE prev, LPSTR cmdline, int show) {
  return (int)DialogBoxParamA(instance, MAKEINTRESOURCEA(102), NULL, NoopProc, 0);
}
