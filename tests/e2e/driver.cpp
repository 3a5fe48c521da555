// End-to-end driver: starts the real INSTALL.EXE in a medium directory and
// plays a scenario against it through window messages only, printing one line
// per thing it saw. The scenario runner (run_e2e.py) judges the transcript.
//
//   e2e_driver --info
//       prints the Programs folder and the Windows directory, then exits.
//   e2e_driver --exe PATH --medium DIR --script FILE [--timeout SECONDS]
//       runs the steps of FILE (one per line, '#' starts a comment):
//         wait-dialog            wait until the install dialog is visible
//         dump                   print both fields, the list, the selection, the focus
//         set ID TEXT            WM_SETTEXT on control ID (the rest of the line)
//         click ID               post BM_CLICK to the dialog's control ID
//         double-click ID        post the mouse messages of a double click to control ID
//         key ID escape|enter    post the key to control ID (0: the focus window)
//         close                  post WM_SYSCOMMAND SC_CLOSE to the dialog
//         box ok|yes|no          wait for the next message box, print it, answer it
//         wait-box [SECONDS]     wait for the next message box and print it; "box" answers it
//                                (up to SECONDS, default 30: a long installation takes longer)
//         wait-progress          wait until the progress window shows its status text
//         wait-window TEXT       wait for a visible window of any process whose caption
//                                contains TEXT (Notepad showing the readme)
//         sync NAME              write NAME.ready into the --sync directory and wait for
//                                NAME.done there (another program takes a screenshot)
//         idle MS                keep watching for MS milliseconds; the installer must stay up
//         wait-exit              wait until the installer's process has ended
//
// Rules the driver keeps so that it never disturbs what it observes:
// - Clicks, keys and answers are posted. A sent message into a busy thread
//   would either block the driver or be handled inside the installer's
//   PeekMessage calls, which no real user can do.
// - Texts of captions and statics are read with InternalGetWindowText, which
//   asks the window manager and never the window. Edit and combo box contents
//   only live in the control, so they are read with SendMessageTimeout, and
//   only by "dump", which runs while the dialog waits for input.
// - Every wait is bounded; on a timeout the installer is killed and the driver
//   exits with 3. Any message box that the scenario did not ask for ends the
//   run the same way, so a test can never hang on a box nobody answers.
//
// Transcript texts are quoted with C escapes (\\, \", \n, \r, \xNN).

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "tests/e2e/wall_clock.h"

namespace {

constexpr int kMsgBoxTextId = 0xFFFF;  // the static that holds a message box's text
constexpr int kMsgBoxIconId = 0x0440;  // the static that holds its icon
constexpr int kDirFieldId = 1000;
constexpr const char* kDialogCaption = "Brackenvue Installation";
constexpr const char* kProgressCaption = "Installation Progress";
constexpr DWORD kPollMs = 10;

FILE* g_transcript = nullptr;

std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '"') {
      out += "\\\"";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

void Emit(const char* fmt, ...) {
  char line[8192];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(line, sizeof line, fmt, ap);
  va_end(ap);
  fputs(line, stdout);
  fputc('\n', stdout);
  fflush(stdout);
  if (g_transcript) {
    fputs(line, g_transcript);
    fputc('\n', g_transcript);
    fflush(g_transcript);
  }
}

std::string HexHandle(HWND h) {
  char buf[32];
  snprintf(buf, sizeof buf, "0x%lX", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(h)));
  return buf;
}

// The window manager's copy of a window's text: no message reaches the window.
std::string StoredText(HWND h) {
  wchar_t wide[4096];
  int n = InternalGetWindowText(h, wide, 4096);
  if (n <= 0) return std::string();
  char narrow[8192];
  int m = WideCharToMultiByte(CP_ACP, 0, wide, n, narrow, sizeof narrow - 1, nullptr, nullptr);
  return std::string(narrow, m > 0 ? m : 0);
}

std::string ClassOf(HWND h) {
  char buf[256] = {};
  GetClassNameA(h, buf, sizeof buf);
  return buf;
}

// Sends only to a window that is waiting for input; never blocks for long.
bool AskIdle(HWND h, UINT msg, WPARAM wp, LPARAM lp, DWORD_PTR* result, UINT timeoutMs = 2000) {
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutA(h, msg, wp, lp, SMTO_ABORTIFHUNG | SMTO_BLOCK, timeoutMs, &r)) return false;
  if (result) *result = r;
  return true;
}

std::string ControlText(HWND h) {
  char buf[4096] = {};
  DWORD_PTR n = 0;
  if (!AskIdle(h, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf), &n)) return "<no answer>";
  return std::string(buf, n < sizeof buf ? n : 0);
}

struct Failure {
  std::string why;
};

class Driver {
 public:
  Driver(DWORD timeoutSec) : globalDeadline_(GetTickCount() + timeoutSec * 1000) {}

  void Start(const std::string& exe, const std::string& medium) {
    std::string cmd = "\"" + exe + "\"";
    std::vector<char> cmdBuf(cmd.begin(), cmd.end());
    cmdBuf.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(exe.c_str(), cmdBuf.data(), nullptr, nullptr, FALSE, 0, nullptr, medium.c_str(),
                        &si, &pi)) {
      throw Failure{"cannot start " + exe + " (error " + std::to_string(GetLastError()) + ")"};
    }
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
    tid_ = pi.dwThreadId;
    CloseHandle(pi.hThread);
    Emit("started pid=%lu t=%lld", pid_, NowMs());
  }

  void KillIfRunning() {
    if (process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_, 99);
      WaitForSingleObject(process_, 5000);
      Emit("killed");
    }
  }

  // ---- steps ------------------------------------------------------------

  void WaitDialog() {
    Wait("the install dialog", 20000, [&] { return dialog_ && IsWindowVisible(dialog_); });
    LONG style = GetWindowLongA(dialog_, GWL_STYLE);
    LONG exStyle = GetWindowLongA(dialog_, GWL_EXSTYLE);
    Emit("dialog caption=%s owner=%s style=0x%08lX exstyle=0x%08lX", Quote(StoredText(dialog_)).c_str(),
         OwnerName(GetWindow(dialog_, GW_OWNER)).c_str(), style, exStyle);
  }

  void Dump() {
    NeedDialog();
    HWND dir = GetDlgItem(dialog_, kDirFieldId);
    HWND combo = GetDlgItem(dialog_, 1001);
    Emit("field id=1000 text=%s", Quote(dir ? ControlText(dir) : "<missing>").c_str());
    if (!combo) throw Failure{"control 1001 is missing"};
    DWORD_PTR count = 0, sel = 0;
    AskIdle(combo, CB_GETCOUNT, 0, 0, &count);
    AskIdle(combo, CB_GETCURSEL, 0, 0, &sel);
    std::string items;
    for (int i = 0; i < static_cast<int>(count); ++i) {
      // Wide: Wine 8 marshals the ANSI form of CB_GETLBTEXT between
      // processes as if it were wide, which cuts every item after one letter.
      DWORD_PTR len = 0;
      SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, i, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 2000, &len);
      std::vector<wchar_t> wide(len + 2, L'\0');
      SendMessageTimeoutW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(wide.data()), SMTO_ABORTIFHUNG | SMTO_BLOCK,
                          2000, nullptr);
      char narrow[1024] = {};
      WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, narrow, sizeof narrow - 1, nullptr, nullptr);
      Emit("item index=%d text=%s", i, Quote(narrow).c_str());
    }
    Emit("combo id=1001 text=%s count=%d cursel=%d", Quote(ControlText(combo)).c_str(), static_cast<int>(count),
         static_cast<int>(static_cast<LRESULT>(sel)));
    GUITHREADINFO gti = {};
    gti.cbSize = sizeof gti;
    std::string focus = "none";
    if (GetGUIThreadInfo(tid_, &gti) && gti.hwndFocus) {
      HWND f = gti.hwndFocus;
      int id = GetDlgCtrlID(f);
      HWND parent = GetParent(f);
      if (parent && parent != dialog_) {
        // The edit field inside a drop-down combo box: name it by its box.
        focus = std::to_string(GetDlgCtrlID(parent)) + ".edit";
      } else {
        focus = std::to_string(id);
      }
    }
    Emit("focus id=%s", focus.c_str());
    Emit("dialog visible=%d enabled=%d", IsWindowVisible(dialog_) ? 1 : 0, IsWindowEnabled(dialog_) ? 1 : 0);
  }

  void Set(int id, const std::string& text) {
    NeedDialog();
    HWND c = GetDlgItem(dialog_, id);
    if (!c) throw Failure{"no control " + std::to_string(id)};
    if (!AskIdle(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), nullptr)) {
      throw Failure{"control " + std::to_string(id) + " did not take its text"};
    }
    Emit("set id=%d text=%s", id, Quote(text).c_str());
  }

  void Click(int id) {
    NeedDialog();
    HWND c = GetDlgItem(dialog_, id);
    if (!c) throw Failure{"no control " + std::to_string(id)};
    long long t = NowMs();
    PostMessageA(c, BM_CLICK, 0, 0);
    Emit("click id=%d t=%lld", id, t);
  }

  // The messages a button gets from a double click of the left mouse
  // button, at its centre: down, up, double-click (which a push button takes
  // as a second press) and up. Each release inside the button is a click.
  void DoubleClick(int id) {
    NeedDialog();
    HWND c = GetDlgItem(dialog_, id);
    if (!c) throw Failure{"no control " + std::to_string(id)};
    RECT r;
    GetClientRect(c, &r);
    LPARAM at = MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2);
    long long t = NowMs();
    PostMessageA(c, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(c, WM_LBUTTONUP, 0, at);
    PostMessageA(c, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageA(c, WM_LBUTTONUP, 0, at);
    Emit("double-click id=%d t=%lld", id, t);
  }

  void Key(int id, const std::string& key) {
    NeedDialog();
    HWND target = nullptr;
    if (id == 0) {
      GUITHREADINFO gti = {};
      gti.cbSize = sizeof gti;
      if (GetGUIThreadInfo(tid_, &gti)) target = gti.hwndFocus;
    } else {
      target = GetDlgItem(dialog_, id);
      // A drop-down combo box receives keys in its edit field.
      HWND edit = target ? FindWindowExA(target, nullptr, "Edit", nullptr) : nullptr;
      if (edit) target = edit;
    }
    if (!target) throw Failure{"no window for the key"};
    UINT vk = key == "escape" ? VK_ESCAPE : key == "enter" ? VK_RETURN : 0;
    if (!vk) throw Failure{"unknown key " + key};
    // The dialog's message loop hands posted keys to IsDialogMessage just like
    // typed ones: ESC becomes IDCANCEL, ENTER the default button's command.
    UINT scan = MapVirtualKeyA(vk, 0);
    long long t = NowMs();
    PostMessageA(target, WM_KEYDOWN, vk, 1 | (scan << 16));
    PostMessageA(target, WM_KEYUP, vk, 1 | (scan << 16) | 0xC0000000u);
    Emit("key %s t=%lld", key.c_str(), t);
  }

  void Close() {
    NeedDialog();
    long long t = NowMs();
    PostMessageA(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0);
    Emit("close t=%lld", t);
  }

  void WaitBox(DWORD ms = 30000) {
    Wait("a message box", ms, [&] { return !pendingBoxes_.empty(); });
  }

  void WaitProgress() {
    Wait("the progress window", 30000, [&] {
      return progress_ && !StoredText(GetDlgItem(progress_, 1005)).empty();
    });
  }

  void WaitWindow(const std::string& text) {
    CaptionSearch search{&text, nullptr};
    Wait("a window with that caption", 30000, [&] {
      EnumWindows(FindCaption, reinterpret_cast<LPARAM>(&search));
      return search.found != nullptr;
    });
    Emit("window caption=%s t=%lld", Quote(StoredText(search.found)).c_str(), NowMs());
  }

  void Sync(const std::string& dir, const std::string& name) {
    if (dir.empty()) throw Failure{"sync needs --sync DIR"};
    std::string ready = dir + "\\" + name + ".ready";
    std::string done = dir + "\\" + name + ".done";
    FILE* f = fopen(ready.c_str(), "wb");
    if (!f) throw Failure{"cannot write " + ready};
    fclose(f);
    Emit("sync %s t=%lld", name.c_str(), NowMs());
    Wait("the other side of the sync", 60000,
         [&] { return GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES; });
  }

  void AnswerBox(const std::string& answer) {
    int id = answer == "ok" ? IDOK : answer == "yes" ? IDYES : answer == "no" ? IDNO : 0;
    if (!id) throw Failure{"unknown answer " + answer};
    WaitBox();
    HWND box = pendingBoxes_.front();
    pendingBoxes_.pop_front();
    HWND button = GetDlgItem(box, id);
    if (!button || !IsWindowVisible(button)) throw Failure{"the box has no " + answer + " button"};
    // Times are taken before the post: what the installer does in answer
    // can never seem to come first.
    long long t = NowMs();
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    Emit("answer %s t=%lld", answer.c_str(), t);
    Wait("the box to close", 10000, [&] { return !IsWindow(box) || !IsWindowVisible(box); });
  }

  void Idle(DWORD ms) {
    DWORD until = GetTickCount() + ms;
    Wait("nothing", ms + 1000, [&] {
      NoUnansweredBox();
      if (Exited()) throw Failure{"the installer ended while it should have stayed"};
      return static_cast<LONG>(GetTickCount() - until) >= 0;
    });
    Emit("alive");
  }

  void WaitExit() {
    Wait("the installer to end", 30000, [&] {
      NoUnansweredBox();
      return Exited();
    });
  }

  // A box that the scenario does not answer would block the installer until
  // the timeout: fail at once instead.
  void NoUnansweredBox() {
    if (!pendingBoxes_.empty()) throw Failure{"a message box nobody asked for"};
  }

 private:
  template <class Pred>
  void Wait(const char* what, DWORD ms, Pred done) {
    DWORD deadline = GetTickCount() + ms;
    for (;;) {
      Poll();
      if (done()) return;
      DWORD now = GetTickCount();
      if (static_cast<LONG>(now - deadline) >= 0 || static_cast<LONG>(now - globalDeadline_) >= 0) {
        throw Failure{std::string("timed out waiting for ") + what};
      }
      Sleep(kPollMs);
    }
  }

  bool Exited() {
    if (exited_) return true;
    if (!process_) throw Failure{"no installer was started"};
    if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) return false;
    Poll();  // last look at the windows first
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    exited_ = true;
    Emit("exit code=%ld t=%lld", static_cast<long>(code), NowMs());
    return true;
  }

  void NeedDialog() {
    if (!dialog_ || !IsWindow(dialog_)) throw Failure{"the install dialog is not there"};
  }

  std::string OwnerName(HWND owner) {
    if (!owner) return "none";
    if (owner == dialog_) return "dialog";
    return HexHandle(owner);
  }

  struct CaptionSearch {
    const std::string* text;
    HWND found;
  };
  static BOOL CALLBACK FindCaption(HWND h, LPARAM lp) {
    auto* s = reinterpret_cast<CaptionSearch*>(lp);
    if (IsWindowVisible(h) && StoredText(h).find(*s->text) != std::string::npos) {
      s->found = h;
      return FALSE;
    }
    return TRUE;
  }

  struct Enum {
    DWORD pid;
    std::vector<HWND> wnds;
  };
  static BOOL CALLBACK Collect(HWND h, LPARAM lp) {
    auto* e = reinterpret_cast<Enum*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid == e->pid) e->wnds.push_back(h);
    return TRUE;
  }

  void Poll() {
    Enum e{pid_, {}};
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&e));
    HWND progressNow = nullptr;
    std::vector<HWND> newBoxes;
    for (HWND h : e.wnds) {
      if (!IsWindowVisible(h) || ClassOf(h) != "#32770") continue;
      if (GetDlgItem(h, kMsgBoxTextId)) {
        newBoxes.push_back(h);
      } else if (GetDlgItem(h, kDirFieldId) && StoredText(h) == kDialogCaption) {
        if (!dialog_) dialog_ = h;
      } else if (StoredText(h) == kProgressCaption) {
        progressNow = h;
      } else if (!Seen(h)) {
        seen_.push_back(h);
        Emit("window caption=%s owner=%s", Quote(StoredText(h)).c_str(), OwnerName(GetWindow(h, GW_OWNER)).c_str());
      }
    }
    // The progress window and the dialog first: a box that follows the end
    // of either in the same look is reported after it.
    WatchProgress(progressNow);
    if (dialog_) {
      bool visible = IsWindow(dialog_) && IsWindowVisible(dialog_);
      if (dialogShown_ && !visible && !dialogHiddenReported_) {
        dialogHiddenReported_ = true;
        Emit("dialog hidden t=%lld", NowMs());
      }
      if (visible && !dialogShown_) {
        dialogShown_ = true;
        Emit("dialog shown t=%lld", NowMs());
      }
    }
    for (HWND h : newBoxes) OnBox(h);
  }

  bool Seen(HWND h) {
    for (HWND s : seen_) {
      if (s == h) return true;
    }
    return false;
  }

  void OnBox(HWND box) {
    if (Seen(box)) return;
    seen_.push_back(box);
    std::string buttons;
    static const struct {
      int id;
      const char* name;
    } kButtons[] = {{IDOK, "ok"},         {IDCANCEL, "cancel"}, {IDABORT, "abort"}, {IDRETRY, "retry"},
                    {IDIGNORE, "ignore"}, {IDYES, "yes"},       {IDNO, "no"}};
    for (const auto& b : kButtons) {
      HWND bw = GetDlgItem(box, b.id);
      if (bw && IsWindowVisible(bw)) {
        if (!buttons.empty()) buttons += ",";
        buttons += b.name;
      }
    }
    HWND icon = GetDlgItem(box, kMsgBoxIconId);
    bool hasIcon = icon && IsWindowVisible(icon);
    bool dlgVisible = dialog_ && IsWindow(dialog_) && IsWindowVisible(dialog_);
    bool dlgEnabled = dialog_ && IsWindow(dialog_) && IsWindowEnabled(dialog_);
    Emit("box caption=%s owner=%s buttons=%s icon=%s topmost=%d dialog_visible=%d dialog_enabled=%d t=%lld text=%s",
         Quote(StoredText(box)).c_str(), OwnerName(GetWindow(box, GW_OWNER)).c_str(), buttons.c_str(),
         hasIcon ? IconKind(icon).c_str() : "none", (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0,
         dlgVisible ? 1 : 0, dlgEnabled ? 1 : 0, NowMs(), Quote(StoredText(GetDlgItem(box, kMsgBoxTextId))).c_str());
    pendingBoxes_.push_back(box);
  }

  // The kind of a box's icon. The icon handle belongs to the installer and
  // cannot be drawn here, so the picture on the screen is compared with the
  // system icons drawn on the box's background.
  std::string IconKind(HWND iconStatic) {
    DWORD_PTR h = 0;
    if (!AskIdle(iconStatic, STM_GETICON, 0, 0, &h, 1000)) return "unknown";
    if (!h) return "none";
    RECT r;
    GetWindowRect(iconStatic, &r);
    COLORREF bg = GetSysColor(COLOR_3DFACE);
    std::vector<COLORREF> shown;
    for (int tries = 0; tries < 20; ++tries) {
      // The box may not have painted yet: look again for up to a second.
      shown = ScreenPixels(r.left, r.top);
      if (CountDiff(shown, Solid(bg)) > 16) break;
      Sleep(50);
    }
    static const struct {
      LPCSTR id;
      const char* name;
    } kIcons[] = {{IDI_HAND, "error"},
                  {IDI_ASTERISK, "information"},
                  {IDI_EXCLAMATION, "exclamation"},
                  {IDI_QUESTION, "question"}};
    const char* best = "unknown";
    int bestDiff = 32 * 32;
    for (const auto& k : kIcons) {
      int d = CountDiff(shown, IconPixels(LoadIconA(nullptr, k.id), bg));
      if (d < bestDiff) {
        bestDiff = d;
        best = k.name;
      }
    }
    // Anti-aliased edges may differ by a few pixels; another icon differs by hundreds.
    return bestDiff <= 32 ? best : "unknown";
  }

  static std::vector<COLORREF> Solid(COLORREF c) { return std::vector<COLORREF>(32 * 32, c); }

  static int CountDiff(const std::vector<COLORREF>& a, const std::vector<COLORREF>& b) {
    if (a.size() != b.size()) return 32 * 32;
    int n = 0;
    for (size_t i = 0; i < a.size(); ++i) {
      int dr = GetRValue(a[i]) - GetRValue(b[i]), dg = GetGValue(a[i]) - GetGValue(b[i]),
          db = GetBValue(a[i]) - GetBValue(b[i]);
      if (dr * dr + dg * dg + db * db > 3 * 24 * 24) ++n;
    }
    return n;
  }

  static std::vector<COLORREF> Capture(HDC src, int x, int y) {
    std::vector<COLORREF> px;
    HDC dc = CreateCompatibleDC(src);
    HBITMAP bmp = CreateCompatibleBitmap(src, 32, 32);
    HGDIOBJ old = SelectObject(dc, bmp);
    if (BitBlt(dc, 0, 0, 32, 32, src, x, y, SRCCOPY)) {
      for (int j = 0; j < 32; ++j) {
        for (int i = 0; i < 32; ++i) px.push_back(GetPixel(dc, i, j));
      }
    }
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    return px;
  }

  static std::vector<COLORREF> ScreenPixels(int x, int y) {
    HDC screen = GetDC(nullptr);
    std::vector<COLORREF> px = Capture(screen, x, y);
    ReleaseDC(nullptr, screen);
    return px;
  }

  static std::vector<COLORREF> IconPixels(HICON icon, COLORREF bg) {
    std::vector<COLORREF> px;
    if (!icon) return px;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 32, 32);
    HGDIOBJ old = SelectObject(dc, bmp);
    HBRUSH brush = CreateSolidBrush(bg);
    RECT r = {0, 0, 32, 32};
    FillRect(dc, &r, brush);
    DeleteObject(brush);
    if (DrawIconEx(dc, 0, 0, icon, 32, 32, 0, nullptr, DI_NORMAL)) {
      SelectObject(dc, old);
      old = nullptr;
      HDC rd = CreateCompatibleDC(screen);
      HGDIOBJ o2 = SelectObject(rd, bmp);
      px = Capture(rd, 0, 0);
      SelectObject(rd, o2);
      DeleteDC(rd);
    }
    if (old) SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return px;
  }

  // ---- the progress window and the responsiveness watch ------------------

  void WatchProgress(HWND now) {
    if (now && now != progress_) {
      if (progress_) EndProgress();
      progress_ = now;
      lastStatus_ = "\x01";
      lastPos_ = -1;
      lastRangeHi_ = -1;
      // Where it stands against the owner's client area: a dialog that is
      // not centred takes its template position relative to that corner.
      RECT r = {};
      GetWindowRect(now, &r);
      POINT origin = {0, 0};
      HWND owner = GetWindow(now, GW_OWNER);
      if (owner) ClientToScreen(owner, &origin);
      Emit("progress shown owner=%s at=%ld,%ld owner_client=%ld,%ld t=%lld", OwnerName(owner).c_str(), r.left, r.top,
           origin.x, origin.y, NowMs());
      StartHungWatch(now);
    }
    if (!progress_) return;
    if (!now) {
      EndProgress();
      return;
    }
    // While the window is torn down its controls go first; a missing status
    // line is not an empty one.
    HWND statusLine = GetDlgItem(progress_, 1005);
    std::string status = statusLine ? StoredText(statusLine) : lastStatus_;
    if (status != lastStatus_) {
      lastStatus_ = status;
      Emit("progress status=%s", Quote(status).c_str());
    }
    HWND bar = GetDlgItem(progress_, 1004);
    DWORD_PTR r = 0;
    // Short waits only: between its paint pumps the installer is busy.
    // PBM_GETRANGE gets no structure pointer: it would point into this
    // process. Its result is the low bound for TRUE, the high one for FALSE.
    DWORD_PTR lo = 0;
    if (bar && lastRangeHi_ < 0 && AskIdle(bar, PBM_GETRANGE, TRUE, 0, &lo, 50) &&
        AskIdle(bar, PBM_GETRANGE, FALSE, 0, &r, 50)) {
      lastRangeHi_ = static_cast<int>(r);
      Emit("progress range=%d..%d", static_cast<int>(lo), lastRangeHi_);
    }
    if (bar && AskIdle(bar, PBM_GETPOS, 0, 0, &r, 50) && static_cast<int>(r) != lastPos_) {
      lastPos_ = static_cast<int>(r);
      Emit("progress pos=%d", lastPos_);
    }
  }

  void EndProgress() {
    long long gone = NowMs();
    StopHungWatch();
    Emit("progress gone t=%lld", gone);
    Emit("responsive samples=%ld max_reply_ms=%ld hung=%ld", watch_.samples, watch_.maxReplyMs, watch_.hung);
    progress_ = nullptr;
  }

  // A second thread asks the installer's windows, as the system's hang
  // detection does, whether they still read their queue. It runs apart from
  // the polling so that a slow reply cannot hide the progress window's states.
  struct HungWatch {
    HWND progress = nullptr;
    HWND dialog = nullptr;
    volatile LONG stop = 0;
    volatile LONG samples = 0;
    volatile LONG maxReplyMs = 0;
    volatile LONG hung = 0;
  };
  HungWatch watch_;
  HANDLE watchThread_ = nullptr;

  static DWORD WINAPI HungWatchMain(LPVOID p) {
    auto* w = static_cast<HungWatch*>(p);
    using IsHungFn = BOOL(WINAPI*)(HWND);
    auto isHung = reinterpret_cast<IsHungFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "IsHungAppWindow")));
    while (!w->stop) {
      for (HWND h : {w->progress, w->dialog}) {
        if (!h || !IsWindow(h)) continue;
        DWORD t0 = GetTickCount();
        DWORD_PTR r = 0;
        BOOL ok = SendMessageTimeoutA(h, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 6000, &r);
        LONG dt = static_cast<LONG>(GetTickCount() - t0);
        if (w->stop) break;
        if (!IsWindow(h)) continue;
        InterlockedIncrement(&w->samples);
        if (dt > w->maxReplyMs) w->maxReplyMs = dt;
        if (!ok || (isHung && isHung(h))) InterlockedIncrement(&w->hung);
      }
      Sleep(100);
    }
    return 0;
  }

  void StartHungWatch(HWND progress) {
    StopHungWatch();
    watch_.progress = progress;
    watch_.dialog = dialog_;
    watch_.stop = 0;
    watch_.samples = 0;
    watch_.maxReplyMs = 0;
    watch_.hung = 0;
    watchThread_ = CreateThread(nullptr, 0, HungWatchMain, &watch_, 0, nullptr);
  }

  void StopHungWatch() {
    if (!watchThread_) return;
    watch_.stop = 1;
    WaitForSingleObject(watchThread_, 8000);
    CloseHandle(watchThread_);
    watchThread_ = nullptr;
  }

  DWORD globalDeadline_;
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  DWORD tid_ = 0;
  bool exited_ = false;
  HWND dialog_ = nullptr;
  bool dialogShown_ = false;
  bool dialogHiddenReported_ = false;
  std::vector<HWND> seen_;
  std::deque<HWND> pendingBoxes_;  // seen, not yet answered, oldest first
  HWND progress_ = nullptr;
  std::string lastStatus_;
  int lastPos_ = -1;
  int lastRangeHi_ = -1;

 public:
  ~Driver() { StopHungWatch(); }
};

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

std::string g_syncDir;

void RunStep(Driver& d, const std::string& line) {
  std::string cmd = line.substr(0, line.find(' '));
  std::string rest = line.size() > cmd.size() ? line.substr(cmd.size() + 1) : std::string();
  if (cmd == "wait-dialog") {
    d.WaitDialog();
  } else if (cmd == "dump") {
    d.Dump();
  } else if (cmd == "set") {
    size_t sp = rest.find(' ');
    int id = atoi(rest.substr(0, sp).c_str());
    // The text is everything after the one blank that follows the id, so
    // texts with leading or trailing blanks and empty texts can be set.
    d.Set(id, sp == std::string::npos ? std::string() : rest.substr(sp + 1));
  } else if (cmd == "click") {
    d.Click(atoi(rest.c_str()));
  } else if (cmd == "double-click") {
    d.DoubleClick(atoi(rest.c_str()));
  } else if (cmd == "key") {
    size_t sp = rest.find(' ');
    d.Key(atoi(rest.substr(0, sp).c_str()), Trim(rest.substr(sp + 1)));
  } else if (cmd == "close") {
    d.Close();
  } else if (cmd == "box") {
    d.AnswerBox(Trim(rest));
  } else if (cmd == "wait-box") {
    int seconds = atoi(rest.c_str());
    d.WaitBox(seconds > 0 ? static_cast<DWORD>(seconds) * 1000 : 30000);
  } else if (cmd == "wait-progress") {
    d.WaitProgress();
  } else if (cmd == "wait-window") {
    d.WaitWindow(rest);
  } else if (cmd == "sync") {
    d.Sync(g_syncDir, Trim(rest));
  } else if (cmd == "idle") {
    d.Idle(static_cast<DWORD>(atoi(rest.c_str())));
  } else if (cmd == "wait-exit") {
    d.WaitExit();
  } else {
    throw Failure{"unknown step: " + line};
  }
}

int Info() {
  char programs[MAX_PATH] = {};
  char windir[MAX_PATH] = {};
  SHGetFolderPathA(nullptr, CSIDL_PROGRAMS, nullptr, 0, programs);
  GetWindowsDirectoryA(windir, MAX_PATH);
  Emit("programs=%s", programs);
  Emit("windir=%s", windir);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string exe, medium, script, transcript;
  DWORD timeoutSec = 60;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : std::string(); };
    if (a == "--info") return Info();
    if (a == "--exe") {
      exe = next();
    } else if (a == "--medium") {
      medium = next();
    } else if (a == "--script") {
      script = next();
    } else if (a == "--sync") {
      g_syncDir = next();
    } else if (a == "--transcript") {
      transcript = next();
    } else if (a == "--timeout") {
      timeoutSec = static_cast<DWORD>(atoi(next().c_str()));
    } else {
      fprintf(stderr, "e2e_driver: unknown argument %s\n", a.c_str());
      return 2;
    }
  }
  // Without --exe only the steps that watch other programs' windows work
  // (wait-window, sync).
  if ((exe.empty() != medium.empty()) || script.empty()) {
    fprintf(stderr, "usage: e2e_driver --exe PATH --medium DIR --script FILE [--transcript FILE] [--sync DIR] [--timeout S]\n");
    return 2;
  }
  std::vector<std::string> steps;
  FILE* f = fopen(script.c_str(), "rb");
  if (!f) {
    fprintf(stderr, "e2e_driver: cannot read %s\n", script.c_str());
    return 2;
  }
  char line[4096];
  while (fgets(line, sizeof line, f)) {
    std::string s = line;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    std::string t = Trim(s);
    if (t.empty() || t[0] == '#') continue;
    steps.push_back(s.substr(s.find_first_not_of(" \t")));
  }
  fclose(f);
  if (!transcript.empty()) g_transcript = fopen(transcript.c_str(), "wb");

  Driver d(timeoutSec);
  int rc = 0;
  try {
    if (!exe.empty()) d.Start(exe, medium);
    for (const std::string& s : steps) RunStep(d, s);
    d.NoUnansweredBox();
    Emit("done");
  } catch (const Failure& e) {
    Emit("FAIL %s", Quote(e.why).c_str());
    d.KillIfRunning();
    rc = 3;
  }
  if (g_transcript) fclose(g_transcript);
  return rc;
}
