// Stand-in for a program the installer starts (Notepad, the DirectX setup).
// It records how it was started, so a test can check the command line the
// installer built, and for the DirectX setup it takes a while to finish, so a
// test can tell whether the installer waited for it.
//
// The record goes to %E2E_RECORD_DIR%\<program>.txt (beside the program when
// the variable is not set), appended, so a second start would show.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/e2e/wall_clock.h"

#ifndef STANDIN_NAME
#error "STANDIN_NAME must name the program this stands in for"
#endif
#ifndef STANDIN_SLEEP_VAR
#error "STANDIN_SLEEP_VAR must name the variable that sets the run time"
#endif
#ifndef STANDIN_SLEEP_MS
#define STANDIN_SLEEP_MS 0
#endif

namespace {

void Record(const char* line) {
  char path[MAX_PATH * 2] = {};
  DWORD n = GetEnvironmentVariableA("E2E_RECORD_DIR", path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* slash = strrchr(path, '\\');
    if (slash) slash[1] = '\0';
  } else {
    strcat(path, "\\");
  }
  strcat(path, STANDIN_NAME ".txt");
  FILE* f = fopen(path, "ab");
  if (!f) return;
  fputs(line, f);
  fputc('\n', f);
  fclose(f);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char line[4096];
  snprintf(line, sizeof line, "cmdline=%s", GetCommandLineA());
  Record(line);
  char cwd[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, cwd);
  snprintf(line, sizeof line, "cwd=%s", cwd);
  Record(line);
  snprintf(line, sizeof line, "start=%lld", NowMs());
  Record(line);
  // E2E_<NAME>_SLEEP_MS overrides how long the program takes.
  int sleepMs = STANDIN_SLEEP_MS;
  char value[32];
  DWORD n = GetEnvironmentVariableA(STANDIN_SLEEP_VAR, value, sizeof value);
  if (n > 0 && n < sizeof value) sleepMs = atoi(value);
  if (sleepMs > 0) Sleep(static_cast<DWORD>(sleepMs));
  snprintf(line, sizeof line, "end=%lld", NowMs());
  Record(line);
  return 7;  // nobody may rely on it: the installer ignores the exit code
}
