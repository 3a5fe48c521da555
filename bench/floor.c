/* The bare Win32 floor of the install job, the yardstick INSTALL.EXE is held to.
 *
 *   bench_floor.exe [--window] [--paint] INSTALLDIR FOLDERNAME
 *
 * Run with the medium as the current directory. Reads setup.inf (count line,
 * then "file shortcut" lines), creates INSTALLDIR and the Start-menu folder
 * FOLDERNAME under the Programs folder, copies every listed file with
 * CopyFileA and writes one shell link per file (IShellLinkA +
 * IPersistFile::Save) with the installed file as target, its directory as
 * working directory and "Brackenvue" as description.
 *
 *   --window  also shows a progress window like the installer's (a modeless
 *             dialog with a progress bar and a status line) and updates it per
 *             file and per link by SendMessage, without any message loop.
 *   --paint   with --window: keeps the window painted the way a busy
 *             single-threaded installer can, by dispatching WM_PAINT only
 *             (rate-limited) after each file, each link and, during long
 *             copies, each 64 KiB chunk. Wine 8 never calls CopyFileExA's
 *             progress routine, so this variant copies with its own
 *             ReadFile/WriteFile loop (keeping the last-write time like
 *             CopyFileA) instead of CopyFileA.
 *
 *   --box     ends the way the installer's run does, with its completion box
 *             (owner-less here): the time runs until the box is activated on
 *             the screen, and the box is then closed at once.
 *
 * Prints one line "seconds=S copying=C files=N links=L failures=F" on stdout:
 * S covers everything after start-up (manifest read, folders, window, copies,
 * links), C the part up to the last copy. Exit code 0 only if every copy and every link succeeded.
 */
#define COBJMACROS
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define IDD_FLOOR_PROGRESS 129
#define IDC_FLOOR_BAR 1004
#define IDC_FLOOR_STATUS 1005

typedef struct {
  char file[128];
  char shortcut[128];
} Entry;

static int g_paint;
static DWORD g_lastPump;

/* Dispatches paint messages only, never input, so nothing can re-enter the
 * busy loop. Every 50 ms at most: a repaint costs far more than the check. */
static void PumpPaint(void) {
  DWORD now = GetTickCount();
  MSG msg;
  if (now - g_lastPump < 50) return;
  g_lastPump = now;
  while (PeekMessageA(&msg, NULL, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageA(&msg);
}

/* CopyFileA's work done in chunks, with the paint pump between them. */
static BOOL CopyPainted(const char* src, const char* dst) {
  static char buffer[64 * 1024];
  FILETIME lastWrite;
  BOOL ok = TRUE, haveTime;
  HANDLE in = CreateFileA(src, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN, NULL);
  HANDLE out;
  if (in == INVALID_HANDLE_VALUE) return FALSE;
  haveTime = GetFileTime(in, NULL, NULL, &lastWrite);
  out = CreateFileA(dst, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (out == INVALID_HANDLE_VALUE) {
    CloseHandle(in);
    return FALSE;
  }
  for (;;) {
    DWORD got = 0, put = 0;
    if (!ReadFile(in, buffer, sizeof buffer, &got, NULL)) {
      ok = FALSE;
      break;
    }
    if (got == 0) break;
    if (!WriteFile(out, buffer, got, &put, NULL) || put != got) {
      ok = FALSE;
      break;
    }
    PumpPaint();
  }
  if (ok && haveTime) SetFileTime(out, NULL, NULL, &lastWrite);
  if (!CloseHandle(out)) ok = FALSE;
  CloseHandle(in);
  return ok;
}

static LARGE_INTEGER g_boxShown;
static HHOOK g_hook;

/* The box is activated when it is shown: take the time there and close it,
 * as a user's OK would. */
static LRESULT CALLBACK BoxHook(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_ACTIVATE && g_boxShown.QuadPart == 0) {
    QueryPerformanceCounter(&g_boxShown);
    PostMessageA((HWND)wp, WM_COMMAND, IDOK, 0);
  }
  return CallNextHookEx(g_hook, code, wp, lp);
}

static INT_PTR CALLBACK ProgressProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return msg == WM_INITDIALOG;
}

/* Cuts the line at its first CR, then at its first LF. */
static void CutLine(char* s) {
  s[strcspn(s, "\r")] = 0;
  s[strcspn(s, "\n")] = 0;
}

static int ReadManifest(Entry** out) {
  char line[128];
  int count, i;
  Entry* entries;
  FILE* f = fopen("setup.inf", "rb");
  if (!f) return -1;
  if (!fgets(line, sizeof line, f)) {
    fclose(f);
    return -1;
  }
  count = atoi(line);
  if (count < 0 || count > 1000000) {
    fclose(f);
    return -1;
  }
  entries = (Entry*)calloc(count ? count : 1, sizeof(Entry));
  if (!entries) {
    fclose(f);
    return -1;
  }
  for (i = 0; i < count; i++) {
    char* p;
    char* space;
    if (!fgets(line, sizeof line, f)) {
      fclose(f);
      free(entries);
      return -1;
    }
    CutLine(line);
    p = line;
    while (*p == ' ') p++;
    space = strchr(p, ' ');
    if (space) {
      *space = 0;
      strcpy(entries[i].shortcut, space + 1);
    }
    strcpy(entries[i].file, p);
  }
  fclose(f);
  *out = entries;
  return count;
}

static HRESULT WriteLink(const char* target, const char* linkPath, const char* description) {
  IShellLinkA* link = NULL;
  IPersistFile* persist = NULL;
  WCHAR wide[MAX_PATH];
  char workDir[MAX_PATH];
  char* slash;
  HRESULT hr = CoCreateInstance(&CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, &IID_IShellLinkA,
                                (void**)&link);
  if (FAILED(hr)) return hr;
  IShellLinkA_SetPath(link, target);
  IShellLinkA_SetDescription(link, description);
  lstrcpynA(workDir, target, sizeof workDir);
  slash = strrchr(workDir, '\\');
  if (slash) *slash = 0;
  IShellLinkA_SetWorkingDirectory(link, workDir);
  hr = IShellLinkA_QueryInterface(link, &IID_IPersistFile, (void**)&persist);
  if (SUCCEEDED(hr)) {
    MultiByteToWideChar(CP_ACP, 0, linkPath, -1, wide, MAX_PATH);
    hr = IPersistFile_Save(persist, wide, TRUE);
    IPersistFile_Release(persist);
  }
  IShellLinkA_Release(link);
  return hr;
}

int main(int argc, char** argv) {
  int window = 0, box = 0, argi = 1, count, i, failures = 0, links = 0, files = 0;
  const char* installDir;
  const char* folderName;
  char programs[MAX_PATH], folder[MAX_PATH], dst[MAX_PATH], lnk[MAX_PATH];
  LPITEMIDLIST pidl = NULL;
  Entry* entries = NULL;
  HWND dlg = NULL, bar = NULL, status = NULL;
  LARGE_INTEGER freq, t0, tCopy, t1;
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};

  for (; argi < argc && argv[argi][0] == '-' && argv[argi][1] == '-'; argi++) {
    if (!strcmp(argv[argi], "--window")) window = 1;
    else if (!strcmp(argv[argi], "--paint")) g_paint = 1;
    else if (!strcmp(argv[argi], "--box")) box = 1;
    else {
      fprintf(stderr, "unknown option %s\n", argv[argi]);
      return 2;
    }
  }
  if (argc - argi != 2) {
    fprintf(stderr, "usage: bench_floor [--window] [--paint] [--box] INSTALLDIR FOLDERNAME\n");
    return 2;
  }
  installDir = argv[argi];
  folderName = argv[argi + 1];
  /* The installer registers the common controls during its start-up, before
   * the timed part; so does the floor. */
  if (window) InitCommonControlsEx(&icc);

  QueryPerformanceFrequency(&freq);
  QueryPerformanceCounter(&t0);

  count = ReadManifest(&entries);
  if (count < 0) {
    fprintf(stderr, "cannot read setup.inf\n");
    return 1;
  }
  if (FAILED(SHGetSpecialFolderLocation(NULL, CSIDL_PROGRAMS, &pidl)) ||
      !SHGetPathFromIDListA(pidl, programs)) {
    fprintf(stderr, "no Programs folder\n");
    return 1;
  }
  CoTaskMemFree(pidl);
  snprintf(folder, sizeof folder, "%s\\%s", programs, folderName);
  CreateDirectoryA(installDir, NULL);
  CreateDirectoryA(folder, NULL);

  if (window) {
    dlg = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_FLOOR_PROGRESS), NULL,
                             ProgressProc, 0);
    if (!dlg) {
      fprintf(stderr, "cannot create the progress window\n");
      return 1;
    }
    ShowWindow(dlg, SW_SHOW);
    bar = GetDlgItem(dlg, IDC_FLOOR_BAR);
    status = GetDlgItem(dlg, IDC_FLOOR_STATUS);
    SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, (2 * count) & 0xFFFF));
    SetWindowTextA(status, "Copying files...");
  }

  for (i = 0; i < count; i++) {
    BOOL ok;
    snprintf(dst, sizeof dst, "%s\\%s", installDir, entries[i].file);
    if (g_paint)
      ok = CopyPainted(entries[i].file, dst);
    else
      ok = CopyFileA(entries[i].file, dst, FALSE);
    if (!ok) {
      fprintf(stderr, "copy failed: %s (error %lu)\n", entries[i].file, GetLastError());
      failures++;
      continue;
    }
    files++;
    if (bar) SendMessageA(bar, PBM_SETPOS, i + 1, 0);
    if (g_paint) PumpPaint();
  }

  QueryPerformanceCounter(&tCopy);
  if (status) SetWindowTextA(status, "Creating shortcuts...");
  CoInitialize(NULL);
  for (i = 0; i < count; i++) {
    HRESULT hr;
    snprintf(lnk, sizeof lnk, "%s\\%s.lnk", folder, entries[i].shortcut);
    snprintf(dst, sizeof dst, "%s\\%s", installDir, entries[i].file);
    hr = WriteLink(dst, lnk, "Brackenvue");
    if (FAILED(hr)) {
      fprintf(stderr, "link failed: %s (0x%08lx)\n", lnk, (unsigned long)hr);
      failures++;
    } else {
      links++;
    }
    if (bar) SendMessageA(bar, PBM_SETPOS, count + i + 1, 0);
    if (g_paint) PumpPaint();
  }
  if (dlg) DestroyWindow(dlg);

  if (box) {
    g_hook = SetWindowsHookExA(WH_CBT, BoxHook, NULL, GetCurrentThreadId());
    MessageBoxA(NULL,
                "The installation is complete. To run Brackenvue, choose\nStart Menu, then "
                "Programs, then Brackenvue.",
                "FLOOR", MB_ICONINFORMATION);
    UnhookWindowsHookEx(g_hook);
    t1 = g_boxShown;
  } else {
    QueryPerformanceCounter(&t1);
  }
  printf("seconds=%.6f copying=%.6f files=%d links=%d failures=%d\n",
         (double)(t1.QuadPart - t0.QuadPart) / (double)freq.QuadPart,
         (double)(tCopy.QuadPart - t0.QuadPart) / (double)freq.QuadPart, files, links, failures);
  fflush(stdout);
  free(entries);
  return failures ? 1 : 0;
}
