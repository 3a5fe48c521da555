/* A DLL to plant beside a program under a system DLL's name. It exports
 * nothing useful; loading it leaves a marker file "<its own path>.loaded",
 * which the test looks for. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    char path[MAX_PATH + 8];
    DWORD n = GetModuleFileNameA(instance, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
      lstrcatA(path, ".loaded");
      HANDLE marker = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
      if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    }
  }
  return TRUE;
}
