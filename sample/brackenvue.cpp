// The sample medium's program: what the installed "Brackenvue" shortcut
// starts. It shows that it runs and from where, so a user who tries the
// shortcut can see the installation and the shortcut's working directory.
#include <windows.h>

#include <cstdio>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char exe[MAX_PATH] = {};
  char cwd[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  GetCurrentDirectoryA(MAX_PATH, cwd);
  char text[3 * MAX_PATH];
  snprintf(text, sizeof text,
           "Brackenvue sample is installed.\n\nProgram: %s\nWorking directory: %s", exe, cwd);
  MessageBoxA(nullptr, text, "Brackenvue", MB_OK | MB_ICONINFORMATION);
  return 0;
}
