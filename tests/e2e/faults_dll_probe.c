/* The control of the planted-DLL test: a program without any hardening of
 * the DLL search that loads the same DLLs INSTALL.EXE loads late, the
 * common controls by name and the theme DLL with its first window. If the
 * DLLs planted beside it are not loaded here, the test could show nothing. */
#include <windows.h>
#include <stdio.h>

int main(void) {
  HMODULE comctl = LoadLibraryA("comctl32.dll");
  HWND window = CreateWindowA("STATIC", "probe", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, NULL, NULL, NULL, NULL);
  printf("comctl32.dll %s, window %s\n", comctl ? "loaded" : "not loaded", window ? "made" : "not made");
  if (window) DestroyWindow(window);
  return 0;
}
