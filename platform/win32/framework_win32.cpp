// The dialog framework's window primitives on real Win32 windows.
//
// A fw::WindowHandle is the HWND itself. Every dialog runs through one dialog
// procedure that finds its CDialog in the window's DWLP_USER slot and hands
// the messages the framework knows to the Dispatch* entry points.
#include "platform/win32/win32_api.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "platform/framework.h"
#include "platform/framework_backend.h"
#include "platform/win32/progress_rate.h"

namespace fw {

namespace {

HWND H(WindowHandle wnd) { return reinterpret_cast<HWND>(wnd); }
WindowHandle W(HWND wnd) { return reinterpret_cast<WindowHandle>(wnd); }

CDialog* DialogOf(HWND wnd) { return reinterpret_cast<CDialog*>(GetWindowLongPtrA(wnd, DWLP_USER)); }

// Centres a dialog that its OnInitDialog did not move, when it has no owner
// (in the work area) or a disabled one (over the owner, or in the work area
// when the owner is hidden or minimised). The templates say 0, 0 and leave
// the placing of an owner-less dialog to the framework.
void CenterIfUnplaced(HWND wnd, const RECT& before) {
  RECT now;
  if (!GetWindowRect(wnd, &now) || now.left != before.left || now.top != before.top) return;
  RECT area;
  HWND owner = GetWindow(wnd, GW_OWNER);
  // A dialog whose owner is enabled (the progress window over the install
  // dialog) keeps its template position, relative to the owner's client area.
  if (owner && IsWindowEnabled(owner)) return;
  if (owner && IsWindowVisible(owner) && !IsIconic(owner)) {
    GetWindowRect(owner, &area);
  } else if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) {
    return;
  }
  int width = now.right - now.left;
  int height = now.bottom - now.top;
  int x = area.left + ((area.right - area.left) - width) / 2;
  int y = area.top + ((area.bottom - area.top) - height) / 2;
  // Never push the caption off the top-left of the screen.
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  SetWindowPos(wnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void ShowOutOfMemory(HWND owner) {
  CWinApp* app = AfxGetApp();
  const char* caption = (app && app->m_pszAppName) ? app->m_pszAppName : "";
  MessageBoxA(owner, "Out of memory.", caption, MB_ICONEXCLAMATION | MB_SYSTEMMODAL);
}

// ---- Progress bars drawn at a bounded rate (see progress_rate.h) ----------------

// A subclassed bar. Lives from the dialog's creation to the bar's
// WM_NCDESTROY; found through the bar's GWLP_USERDATA, which the progress
// control leaves to its user (its own data is in the window's extra bytes).
struct KeptBar {
  HWND wnd;
  WNDPROC control;       // the progress control's own procedure
  DWORD lastDraw;        // GetTickCount() when the control last got a position
  bool drawn;            // the control got a position since the subclassing
  bool kept;             // keptPos is waiting for the control
  INT keptPos;
};

// The bars for FlushProgressBars. A run has one; a bar beyond the table is
// simply not subclassed and draws every position itself.
KeptBar* g_bars[8];

KeptBar* BarOf(HWND wnd) { return reinterpret_cast<KeptBar*>(GetWindowLongPtrA(wnd, GWLP_USERDATA)); }

void GiveKeptPosition(KeptBar* bar) {
  bar->kept = false;
  bar->drawn = true;
  bar->lastDraw = GetTickCount();
  CallWindowProcA(bar->control, bar->wnd, PBM_SETPOS, static_cast<WPARAM>(bar->keptPos), 0);
}

LRESULT CALLBACK KeptBarProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
  KeptBar* bar = BarOf(wnd);
  if (!bar) return DefWindowProcA(wnd, msg, wParam, lParam);  // never: the record goes last
  if (msg == PBM_SETPOS) {
    DWORD now = GetTickCount();
    if (bar->drawn && now - bar->lastDraw < fw::kBarDrawIntervalMs) {
      // The control clamps a position to its range and answers the one before.
      LRESULT previous = bar->kept ? bar->keptPos : CallWindowProcA(bar->control, wnd, PBM_GETPOS, 0, 0);
      INT low = static_cast<INT>(CallWindowProcA(bar->control, wnd, PBM_GETRANGE, TRUE, 0));
      INT high = static_cast<INT>(CallWindowProcA(bar->control, wnd, PBM_GETRANGE, FALSE, 0));
      INT pos = static_cast<INT>(wParam);
      bar->keptPos = pos < low ? low : pos > high ? high : pos;
      bar->kept = true;
      return previous;
    }
    bar->kept = false;
    bar->drawn = true;
    bar->lastDraw = now;
    return CallWindowProcA(bar->control, wnd, msg, wParam, lParam);
  }
  if (bar->kept) GiveKeptPosition(bar);
  WNDPROC control = bar->control;
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(control));
    SetWindowLongPtrA(wnd, GWLP_USERDATA, 0);
    for (KeptBar*& slot : g_bars) {
      if (slot == bar) slot = nullptr;
    }
    delete bar;
  }
  return CallWindowProcA(control, wnd, msg, wParam, lParam);
}

BOOL CALLBACK KeepBarPositions(HWND child, LPARAM) {
  char cls[32];
  if (!GetClassNameA(child, cls, sizeof cls) || lstrcmpiA(cls, PROGRESS_CLASSA) != 0) return TRUE;
  if (BarOf(child) || GetWindowLongPtrA(child, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(KeptBarProc)) return TRUE;
  for (KeptBar*& slot : g_bars) {
    if (slot) continue;
    KeptBar* bar = new (std::nothrow) KeptBar{child, nullptr, 0, false, false, 0};
    if (!bar) return TRUE;  // the bar then draws every position itself
    SetWindowLongPtrA(child, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(bar));
    bar->control = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(KeptBarProc)));
    slot = bar;
    return TRUE;
  }
  return TRUE;
}

// noexcept: an exception must not unwind through the system's frames; the
// handlers' own (std::bad_alloc) are caught in the Dispatch* members.
INT_PTR CALLBACK DialogProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
  if (msg == WM_INITDIALOG) {
    CDialog* dlg = reinterpret_cast<CDialog*>(lParam);
    SetWindowLongPtrA(wnd, DWLP_USER, reinterpret_cast<LONG_PTR>(dlg));
    // The handler already works on the window (data exchange, EndDialog).
    dlg->m_hWnd = W(wnd);
    RECT before;
    GetWindowRect(wnd, &before);
    EnumChildWindows(wnd, KeepBarPositions, 0);
    bool setFocus = dlg->DispatchInitDialog();
    if (IsWindow(wnd)) CenterIfUnplaced(wnd, before);
    // TRUE lets the system give the focus to the first tab stop.
    return setFocus ? TRUE : FALSE;
  }

  CDialog* dlg = DialogOf(wnd);
  if (!dlg) return FALSE;  // messages that come before WM_INITDIALOG
  switch (msg) {
    case WM_COMMAND:
      return dlg->DispatchCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    case WM_PAINT:
      // FALSE leaves the painting to the default dialog procedure.
      return dlg->DispatchPaint() ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
      // One of the messages whose dialog-procedure result is the answer itself;
      // null asks for the default (the class icon).
      return reinterpret_cast<INT_PTR>(dlg->DispatchQueryDragIcon());
    case WM_HELP:
      if (CWinApp* app = AfxGetApp()) {
        try {
          app->OnHelp();
        } catch (const std::bad_alloc&) {
          ShowOutOfMemory(wnd);
        }
      }
      return TRUE;
    case WM_NCDESTROY:
      // The window may go without its object (an owner destroys what it owns);
      // the object must not keep a handle that Windows may hand out again.
      SetWindowLongPtrA(wnd, DWLP_USER, 0);
      if (dlg->m_hWnd == W(wnd)) dlg->m_hWnd = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

HINSTANCE Module() { return GetModuleHandleA(nullptr); }

}  // namespace

void FlushProgressBars() {
  DWORD now = GetTickCount();
  for (KeptBar* bar : g_bars) {
    if (bar && bar->kept && now - bar->lastDraw >= kBarDrawIntervalMs) GiveKeptPosition(bar);
  }
}

WindowHandle GetDlgItemHandle(WindowHandle dialog, int id) { return W(GetDlgItem(H(dialog), id)); }

int GetText(WindowHandle wnd, char* buf, int maxCount) {
  if (!buf || maxCount <= 0) return 0;
  buf[0] = '\0';
  return GetWindowTextA(H(wnd), buf, maxCount);
}

void SetText(WindowHandle wnd, const char* text) { SetWindowTextA(H(wnd), text); }

intptr_t Send(WindowHandle wnd, unsigned msg, uintptr_t wParam, intptr_t lParam) {
  return SendMessageA(H(wnd), msg, wParam, lParam);
}

bool Show(WindowHandle wnd, int cmd) { return ShowWindow(H(wnd), cmd) != 0; }

WindowHandle Activate(WindowHandle wnd) { return W(SetActiveWindow(H(wnd))); }

bool Destroy(WindowHandle wnd) { return DestroyWindow(H(wnd)) != 0; }

bool IsMinimized(WindowHandle wnd) { return IsIconic(H(wnd)) != 0; }

Rect ClientRect(WindowHandle wnd) {
  RECT rc = {0, 0, 0, 0};
  GetClientRect(H(wnd), &rc);
  return Rect{rc.left, rc.top, rc.right, rc.bottom};
}

int ShowMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned type) {
  return MessageBoxA(H(owner), text, caption, type);
}

IconHandle LoadAppIcon(int id) { return LoadIconA(Module(), MAKEINTRESOURCEA(id)); }

int SystemMetric(int index) { return GetSystemMetrics(index); }

// The paint record must outlive BeginPaintDc. Paint handlers do not nest, so
// one spare record serves if the allocation fails: painting never throws.
namespace {
PAINTSTRUCT g_sparePaint;
}

DcHandle BeginPaintDc(WindowHandle wnd, void** state) {
  PAINTSTRUCT* paint = new (std::nothrow) PAINTSTRUCT;
  if (!paint) paint = &g_sparePaint;
  *state = paint;
  return BeginPaint(H(wnd), paint);
}

void EndPaintDc(WindowHandle wnd, void* state) {
  PAINTSTRUCT* paint = static_cast<PAINTSTRUCT*>(state);
  if (!paint) return;
  EndPaint(H(wnd), paint);
  if (paint != &g_sparePaint) delete paint;
}

bool DrawIconAt(DcHandle dc, int x, int y, IconHandle icon) {
  return DrawIcon(static_cast<HDC>(dc), x, y, static_cast<HICON>(icon)) != 0;
}

// A modal dialog ended inside its OnInitDialog must never appear. Windows
// keeps it hidden; Wine shows a WS_VISIBLE template right after WM_INITDIALOG
// whatever EndDialog did, so the window would flash. The dialog therefore
// runs from a copy of its template without WS_VISIBLE: DialogBox shows it
// itself once its message queue first runs empty, and never if it has ended.
intptr_t RunModal(CDialog* dlg, int templateId, WindowHandle owner) {
  HINSTANCE module = Module();
  const LPARAM param = reinterpret_cast<LPARAM>(dlg);
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(templateId), RT_DIALOG);
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  DWORD size = found ? SizeofResource(module, found) : 0;
  if (!data || size < sizeof(DLGTEMPLATE)) return -1;

  // Templates must be DWORD-aligned.
  std::unique_ptr<DWORD[]> copy(new (std::nothrow) DWORD[(size + 3) / 4]);
  if (!copy) return DialogBoxParamA(module, MAKEINTRESOURCEA(templateId), H(owner), DialogProc, param);
  std::memcpy(copy.get(), data, size);
  // DLGTEMPLATEEX starts with version 1 and signature 0xFFFF; its style
  // follows the help id and the extended style.
  const WORD* words = static_cast<const WORD*>(data);
  bool extended = words[0] == 1 && words[1] == 0xFFFF;
  DWORD* style = extended ? copy.get() + 3 : copy.get();
  *style &= ~static_cast<DWORD>(WS_VISIBLE);
  return DialogBoxIndirectParamA(module, reinterpret_cast<LPCDLGTEMPLATEA>(copy.get()), H(owner),
                                 DialogProc, param);
}

WindowHandle CreateModeless(CDialog* dlg, int templateId, WindowHandle owner) {
  return W(CreateDialogParamA(Module(), MAKEINTRESOURCEA(templateId), H(owner), DialogProc,
                              reinterpret_cast<LPARAM>(dlg)));
}

// For a modal dialog this ends its loop (inside WM_INITDIALOG: before it is
// ever shown). A modeless one is only hidden, as Windows does; its object
// destroys it.
void EndModal(WindowHandle dialog, intptr_t result) { EndDialog(H(dialog), result); }

// COMCTL32.DLL is not a known DLL: named in the import table it would be
// looked for beside INSTALL.EXE before any of the program's code runs, and
// its start-up makes user32 load the theme DLL the same way. So it is loaded
// here, on first use, by its full System32 path, which no DLL planted beside
// the program or in the current directory can stand in for, on any Windows.
void EnsureCommonControls() {
  static bool registered = false;
  if (registered) return;
  char path[MAX_PATH];
  UINT length = GetSystemDirectoryA(path, MAX_PATH);
  static const char kName[] = "\\comctl32.dll";
  if (length == 0 || length + sizeof kName > sizeof path) return;
  std::memcpy(path + length, kName, sizeof kName);
  HMODULE comctl = LoadLibraryA(path);
  if (!comctl) return;
  using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  auto init = reinterpret_cast<InitFn>(reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")));
  if (!init) return;
  INITCOMMONCONTROLSEX controls;
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_PROGRESS_CLASS;
  registered = init(&controls) != 0;
}

void SetProcessErrorMode() {
  // Keep what the parent process passed on, add ours.
  UINT mode = SetErrorMode(0);
  SetErrorMode(mode | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

std::string ModuleBaseName() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return std::string();
    // n == size: the name was cut to fit; try again with room to spare.
    if (n < path.size() || path.size() >= 32768) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  size_t start = path.find_last_of("\\/:");
  std::string name = path.substr(start == std::string::npos ? 0 : start + 1);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos) name.resize(dot);
  return name;
}

}  // namespace fw

