/* Timing driver for the benchmark: starts a dialog program and acts on it only
 * through window messages, the way a user's clicks arrive.
 *
 *   bench_drive.exe install EXE MEDIUMDIR INSTALLDIR FOLDER
 *       Starts EXE (INSTALL.EXE) with MEDIUMDIR as its current directory,
 *       waits for the install dialog, types INSTALLDIR and FOLDER into its two
 *       fields, clicks Install and times until the completion box is shown.
 *       Answers the box and waits for the process to end.
 *       Prints "seconds=S startup=T".
 *   bench_drive.exe startup EXE MEDIUMDIR CAPTION
 *       Times process start until a visible dialog titled CAPTION of that
 *       process exists and the process is idle, then closes it with IDCANCEL.
 *       Prints "seconds=S".
 *   bench_drive.exe run EXE [ARGS...]
 *       Times one run of a program (start to exit). Prints "seconds=S exit=N".
 *
 * Exit code 0 on success; every wait is bounded.
 *
 * The busy installer reads no messages while it works, so this driver never
 * sends it anything during the run: it only posts the click and watches the
 * window list. GetWindowTextA on another process's window reads the text the
 * window manager keeps, without a message, so it is safe on a busy window.
 */
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "ui/resource_ids.h"

#define INSTALL_CAPTION "Brackenvue Installation"
#define PROGRESS_CAPTION "Installation Progress"
#define COMPLETE_PREFIX "The installation is complete."
#define STATIC_TEXT_ID 0xFFFF

static LARGE_INTEGER g_freq;

static double Now(void) {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return (double)t.QuadPart / (double)g_freq.QuadPart;
}

typedef struct {
  DWORD pid;
  const char* caption;  /* NULL: any caption */
  HWND exclude1, exclude2;
  HWND found;
} FindCtx;

static BOOL CALLBACK FindProc(HWND hwnd, LPARAM lp) {
  FindCtx* ctx = (FindCtx*)lp;
  DWORD pid = 0;
  char cls[64], text[256];
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != ctx->pid || hwnd == ctx->exclude1 || hwnd == ctx->exclude2) return TRUE;
  if (!IsWindowVisible(hwnd)) return TRUE;
  if (!GetClassNameA(hwnd, cls, sizeof cls) || strcmp(cls, "#32770") != 0) return TRUE;
  if (ctx->caption) {
    GetWindowTextA(hwnd, text, sizeof text);
    if (strcmp(text, ctx->caption) != 0) return TRUE;
  }
  ctx->found = hwnd;
  return FALSE;
}

/* A visible dialog of the process: with the caption, or (caption NULL) any
 * dialog other than the two excluded windows. */
static HWND FindDialog(DWORD pid, const char* caption, HWND exclude1, HWND exclude2) {
  FindCtx ctx = {pid, caption, exclude1, exclude2, NULL};
  EnumWindows(FindProc, (LPARAM)&ctx);
  return ctx.found;
}

static int IsCandidate(HWND hwnd, DWORD pid, const char* caption, HWND exclude1, HWND exclude2) {
  FindCtx ctx = {pid, caption, exclude1, exclude2, NULL};
  if (!hwnd) return 0;
  FindProc(hwnd, (LPARAM)&ctx);
  return ctx.found == hwnd;
}

/* Waits for a visible dialog of the process. The window that becomes the
 * foreground one is checked every `step` ms (one cheap call); the full window
 * list only every `scanEvery` steps. Returns NULL on timeout or when the
 * process ended. */
static HWND WaitDialogPaced(HANDLE process, DWORD pid, const char* caption, HWND exclude1,
                            HWND exclude2, double timeout, DWORD step, int scanEvery) {
  double end = Now() + timeout;
  HWND lastForeground = NULL;
  int tick = 0;
  for (;;) {
    HWND fg = GetForegroundWindow();
    if (fg != lastForeground) {
      lastForeground = fg;
      if (IsCandidate(fg, pid, caption, exclude1, exclude2)) return fg;
    }
    if (++tick % scanEvery == 0) {
      HWND h = FindDialog(pid, caption, exclude1, exclude2);
      if (h) return h;
      if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) return NULL;
      if (Now() > end) return NULL;
    }
    Sleep(step);
  }
}

/* Watching costs the watched program time: every check is a request to the
 * one wineserver that also serves it. Fine-grained (1 ms) where the moment
 * matters, at start-up and once the progress window has gone. */
static HWND WaitDialog(HANDLE process, DWORD pid, const char* caption, HWND exclude1,
                       HWND exclude2, double timeout) {
  return WaitDialogPaced(process, pid, caption, exclude1, exclude2, timeout, 1, 20);
}

/* While the progress window is up: returns when it is no longer visible (or
 * was never seen within `timeout`), checking every 10 ms. */
static void WaitProgressGone(HWND progress, double timeout) {
  double end = Now() + timeout;
  while (IsWindow(progress) && IsWindowVisible(progress) && Now() < end) Sleep(10);
}

static int Start(const char* exe, const char* cwd, char* cmdline, PROCESS_INFORMATION* pi) {
  STARTUPINFOA si;
  memset(&si, 0, sizeof si);
  si.cb = sizeof si;
  if (!CreateProcessA(exe, cmdline, NULL, NULL, FALSE, 0, NULL, cwd, &si, pi)) {
    fprintf(stderr, "cannot start %s (error %lu)\n", exe, GetLastError());
    return 0;
  }
  return 1;
}

static int Finish(PROCESS_INFORMATION* pi, DWORD timeoutMs) {
  DWORD code = 1;
  if (WaitForSingleObject(pi->hProcess, timeoutMs) != WAIT_OBJECT_0) {
    fprintf(stderr, "the program did not end; terminating it\n");
    TerminateProcess(pi->hProcess, 3);
    WaitForSingleObject(pi->hProcess, 5000);
  } else {
    GetExitCodeProcess(pi->hProcess, &code);
  }
  CloseHandle(pi->hThread);
  CloseHandle(pi->hProcess);
  return (int)code;
}

static void BoxText(HWND box, char* text, int size) {
  HWND label = GetDlgItem(box, STATIC_TEXT_ID);
  text[0] = 0;
  if (label) GetWindowTextA(label, text, size);
}

static int DriveInstall(const char* exe, const char* medium, const char* installDir,
                        const char* folder) {
  PROCESS_INFORMATION pi;
  char cmdline[MAX_PATH + 2];
  char caption[256], text[1024];
  double t0, tShown, tClick, tBox;
  HWND dlg, box, progress;
  DWORD_PTR ignored;
  int ok = 1;

  snprintf(cmdline, sizeof cmdline, "%s", "INSTALL.EXE");
  t0 = Now();
  if (!Start(exe, medium, cmdline, &pi)) return 1;
  dlg = WaitDialog(pi.hProcess, pi.dwProcessId, INSTALL_CAPTION, NULL, NULL, 60);
  if (!dlg) {
    fprintf(stderr, "the install dialog did not appear\n");
    Finish(&pi, 0);
    return 1;
  }
  tShown = Now();
  /* The dialog is idle and waiting for the user: sending is safe now. */
  WaitForInputIdle(pi.hProcess, 10000);
  if (!SendMessageTimeoutA(GetDlgItem(dlg, IDC_INSTALL_DIR), WM_SETTEXT, 0, (LPARAM)installDir,
                           SMTO_ABORTIFHUNG, 10000, &ignored) ||
      !SendMessageTimeoutA(GetDlgItem(dlg, IDC_PROGRAM_FOLDER), WM_SETTEXT, 0, (LPARAM)folder,
                           SMTO_ABORTIFHUNG, 10000, &ignored)) {
    fprintf(stderr, "could not fill in the fields\n");
    Finish(&pi, 0);
    return 1;
  }
  /* A click on the button arrives as BN_CLICKED in WM_COMMAND. Posted, not
   * sent: the handler runs the whole installation before it returns. */
  tClick = Now();
  PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDC_INSTALL, BN_CLICKED),
               (LPARAM)GetDlgItem(dlg, IDC_INSTALL));
  /* Any other dialog of the process but the install dialog and the progress
   * window is the box that ends the run. Until the progress window has come
   * and gone the watch is coarse (10 ms), then fine. */
  progress = NULL;
  for (;;) {
    if (progress) {
      WaitProgressGone(progress, 1800);
      box = WaitDialog(pi.hProcess, pi.dwProcessId, NULL, dlg, progress, 1800);
    } else {
      box = WaitDialogPaced(pi.hProcess, pi.dwProcessId, NULL, dlg, NULL, 1800, 10, 10);
    }
    if (!box) break;
    GetWindowTextA(box, caption, sizeof caption);
    if (strcmp(caption, PROGRESS_CAPTION) == 0 && !progress) {
      progress = box;
      continue;
    }
    break;
  }
  tBox = Now();
  if (!box) {
    fprintf(stderr, "no box after the Install click\n");
    Finish(&pi, 0);
    return 1;
  }
  BoxText(box, text, sizeof text);
  if (strncmp(text, COMPLETE_PREFIX, strlen(COMPLETE_PREFIX)) != 0) {
    fprintf(stderr, "the run did not complete: box \"%s\": %s\n", caption, text);
    ok = 0;
  }
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  if (!ok) {
    /* A stop leaves the dialog open: end it the way Exit Installation does. */
    Sleep(200);
    PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
  }
  if (Finish(&pi, 30000) == 3) ok = 0;
  printf("seconds=%.6f startup=%.6f\n", tBox - tClick, tShown - t0);
  fflush(stdout);
  return ok ? 0 : 1;
}

static int DriveStartup(const char* exe, const char* medium, const char* caption) {
  PROCESS_INFORMATION pi;
  char cmdline[MAX_PATH + 2];
  const char* base = strrchr(exe, '\\');
  double t0, t1;
  HWND dlg;
  snprintf(cmdline, sizeof cmdline, "%s", base ? base + 1 : exe);
  t0 = Now();
  if (!Start(exe, medium, cmdline, &pi)) return 1;
  dlg = WaitDialog(pi.hProcess, pi.dwProcessId, caption, NULL, NULL, 60);
  if (!dlg) {
    fprintf(stderr, "no dialog \"%s\" appeared\n", caption);
    Finish(&pi, 0);
    return 1;
  }
  /* Shown and waiting for input: what the user sees as "started". */
  WaitForInputIdle(pi.hProcess, 10000);
  t1 = Now();
  PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
  if (Finish(&pi, 30000) == 3) return 1;
  printf("seconds=%.6f\n", t1 - t0);
  fflush(stdout);
  return 0;
}

static int DriveRun(int argc, char** argv) {
  PROCESS_INFORMATION pi;
  char cmdline[32768];
  size_t used = 0;
  double t0, t1;
  int i, code;
  cmdline[0] = 0;
  for (i = 0; i < argc; i++) {
    int n = snprintf(cmdline + used, sizeof cmdline - used, "%s%s", i ? " " : "", argv[i]);
    if (n < 0 || (size_t)n >= sizeof cmdline - used) {
      fprintf(stderr, "command line too long\n");
      return 1;
    }
    used += (size_t)n;
  }
  t0 = Now();
  if (!Start(argv[0], NULL, cmdline, &pi)) return 1;
  code = Finish(&pi, 1800000);
  t1 = Now();
  printf("seconds=%.6f exit=%d\n", t1 - t0, code);
  fflush(stdout);
  return code == 0 ? 0 : 1;
}

int main(int argc, char** argv) {
  QueryPerformanceFrequency(&g_freq);
  if (argc == 6 && strcmp(argv[1], "install") == 0)
    return DriveInstall(argv[2], argv[3], argv[4], argv[5]);
  if (argc == 5 && strcmp(argv[1], "startup") == 0)
    return DriveStartup(argv[2], argv[3], argv[4]);
  if (argc >= 3 && strcmp(argv[1], "run") == 0) return DriveRun(argc - 2, argv + 2);
  fprintf(stderr,
          "usage: bench_drive install EXE MEDIUMDIR INSTALLDIR FOLDER\n"
          "       bench_drive startup EXE MEDIUMDIR CAPTION\n"
          "       bench_drive run EXE [ARGS...]\n");
  return 2;
}
