/* What Windows makes of a drive: prints "type=N" (GetDriveTypeA of the
 * root given, 5 for a CD-ROM drive) and "writable=0|1" (whether a new file
 * can be created in that root; the file is removed again). */
#include <stdio.h>
#include <windows.h>

int main(int argc, char** argv) {
  char probe[MAX_PATH];
  HANDLE file;
  if (argc != 2 || lstrlenA(argv[1]) > MAX_PATH - 16) {
    fprintf(stderr, "usage: mkmedium_drive_probe D:\\\n");
    return 2;
  }
  printf("type=%u\n", GetDriveTypeA(argv[1]));
  lstrcpyA(probe, argv[1]);
  lstrcatA(probe, "probe.tmp");
  file = CreateFileA(probe, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
  printf("writable=%d\n", file != INVALID_HANDLE_VALUE);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    DeleteFileA(probe);
  }
  return 0;
}
