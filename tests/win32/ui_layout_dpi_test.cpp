// The two dialogs of INSTALL.EXE (templates 102 and 129) as Wine lays them out
// at 96, 120, 144 and 192 DPI: every static text fits its control when drawn
// word-wrapped in the control's width with the control's own font, and no two
// controls overlap or reach outside the dialog.
//
// Wine reads the DPI (HKCU\Control Panel\Desktop, LogPixels) once per process,
// when the process starts. DialogLayout.AtEveryDpi therefore sets the value,
// runs this program again for one DPI (DialogLayoutAtOneDpi, which only runs
// when LAYOUT_TEST_DPI is set), collects its findings, and puts the value back.
#include <windows.h>
// The framework's members of these names must keep them (see win32_api.h).
#undef MessageBox
#undef GetWindowText
#undef SetWindowText
#undef SendMessage

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/framework_backend.h"

namespace {

const char kDpiVariable[] = "LAYOUT_TEST_DPI";
const char kDesktopKey[] = "Control Panel\\Desktop";
constexpr int kDpis[] = {96, 120, 144, 192};

// Texts the installer puts into controls that are empty in the template.
struct RuntimeText {
  int dialog, control;
  const char* text;
};
const RuntimeText kRuntimeTexts[] = {
    {129, 1005, "Copying files..."},
    {129, 1005, "Creating shortcuts..."},
};

std::string SelfPath() {
  char self[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
  return std::string(self, n);
}

std::string InstallExePath() {
  if (const char* env = std::getenv("INSTALL_EXE")) return env;
  std::string dir = SelfPath();
  for (int up = 0; up < 3; ++up) dir = dir.substr(0, dir.find_last_of('\\'));  // build/win32
  return dir + "\\app\\INSTALL.EXE";
}

INT_PTR CALLBACK QuietDialogProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

struct Placed {
  HWND wnd;
  int index;  // 1-based, in template order
  std::string cls, text;
  DWORD style;
  RECT rect;  // in the dialog's client coordinates
};

std::string Describe(int dpi, int dialog, const Placed& c) {
  char line[160];
  std::snprintf(line, sizeof line, "dpi %d, dialog %d, control %d (%s \"%.40s\")", dpi, dialog, c.index,
                c.cls.c_str(), c.text.c_str());
  return line;
}

// How the static control draws `text`: word-wrapped in its client width.
// Prints the measured height (for the record) and returns false if it is cut.
bool StaticTextFits(int dpi, int dialog, const Placed& c, const std::string& text) {
  HDC dc = GetDC(c.wnd);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(c.wnd, WM_GETFONT, 0, 0)));
  TEXTMETRICA tm;
  GetTextMetricsA(dc, &tm);
  RECT client;
  GetClientRect(c.wnd, &client);
  RECT need = {0, 0, client.right, 0};
  UINT format = DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | ((c.style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
  DrawTextA(dc, text.c_str(), -1, &need, format);
  SelectObject(dc, old);
  ReleaseDC(c.wnd, dc);
  Placed shown = c;
  shown.text = text;
  const int lineHeight = tm.tmHeight > 0 ? tm.tmHeight : 1;
  std::printf("  %s: needs %ld x %ld px (%ld lines of %d), has %ld x %ld (%ld lines)\n",
              Describe(dpi, dialog, shown).c_str(), need.right, need.bottom, need.bottom / lineHeight, lineHeight,
              client.right, client.bottom, client.bottom / lineHeight);
  bool fits = need.bottom <= client.bottom && need.right <= client.right;
  EXPECT_TRUE(fits) << Describe(dpi, dialog, shown) << ": the text needs " << need.right << " x " << need.bottom
                    << " px, the control has " << client.right << " x " << client.bottom;
  return fits;
}

// Creates the dialog from INSTALL.EXE's template (hidden) and checks it.
void CheckDialog(HMODULE exe, int id, int dpi) {
  SCOPED_TRACE("dialog " + std::to_string(id));
  HRSRC found = FindResourceA(exe, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));  // RT_DIALOG
  ASSERT_NE(found, nullptr);
  const void* data = LockResource(LoadResource(exe, found));
  DWORD size = SizeofResource(exe, found);
  ASSERT_TRUE(data && size >= sizeof(DLGTEMPLATE));
  // A DWORD-aligned copy without WS_VISIBLE: measured, never shown.
  std::unique_ptr<DWORD[]> copy(new DWORD[(size + 3) / 4]);
  std::memcpy(copy.get(), data, size);
  const WORD* words = static_cast<const WORD*>(data);
  DWORD* style = (words[0] == 1 && words[1] == 0xFFFF) ? copy.get() + 3 : copy.get();
  *style &= ~static_cast<DWORD>(WS_VISIBLE);
  // The test program carries the same icon 128 that the icon control names.
  HWND dlg = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(copy.get()),
                                        nullptr, QuietDialogProc, 0);
  ASSERT_NE(dlg, nullptr) << "error " << GetLastError();

  HFONT dialogFont = reinterpret_cast<HFONT>(SendMessageA(dlg, WM_GETFONT, 0, 0));
  {
    HDC dc = GetDC(dlg);
    HGDIOBJ old = SelectObject(dc, dialogFont);
    char face[LF_FACESIZE] = "";
    GetTextFaceA(dc, sizeof face, face);
    SelectObject(dc, old);
    ReleaseDC(dlg, dc);
    EXPECT_STREQ(face, "MS Sans Serif") << "the dialog is not drawn in its own font";
  }
  RECT area;
  GetClientRect(dlg, &area);
  std::printf("  dpi %d, dialog %d: client area %ld x %ld px\n", dpi, id, area.right, area.bottom);

  std::vector<Placed> controls;
  int index = 0;
  for (HWND child = GetWindow(dlg, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    Placed c{child, ++index, "", "", static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE)), {}};
    char buf[512];
    GetClassNameA(child, buf, sizeof buf);
    c.cls = buf;
    GetWindowTextA(child, buf, sizeof buf);
    c.text = buf;
    GetWindowRect(child, &c.rect);
    MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&c.rect), 2);
    controls.push_back(c);
  }
  EXPECT_FALSE(controls.empty());

  for (const Placed& c : controls) {
    EXPECT_TRUE(c.rect.left >= 0 && c.rect.top >= 0 && c.rect.right <= area.right && c.rect.bottom <= area.bottom)
        << Describe(dpi, id, c) << " reaches outside the dialog";
    if (lstrcmpiA(c.cls.c_str(), "Static") == 0) {
      const DWORD type = c.style & SS_TYPEMASK;
      if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT) continue;
      EXPECT_EQ(SendMessageA(c.wnd, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(dialogFont));
      if (!c.text.empty()) StaticTextFits(dpi, id, c, c.text);
      for (const RuntimeText& r : kRuntimeTexts) {
        if (r.dialog == id && r.control == GetDlgCtrlID(c.wnd)) StaticTextFits(dpi, id, c, r.text);
      }
    }
  }

  for (size_t i = 0; i < controls.size(); ++i) {
    for (size_t j = i + 1; j < controls.size(); ++j) {
      RECT both;
      EXPECT_FALSE(IntersectRect(&both, &controls[i].rect, &controls[j].rect))
          << Describe(dpi, id, controls[i]) << " overlaps " << Describe(dpi, id, controls[j]);
    }
  }
  DestroyWindow(dlg);
}

TEST(DialogLayoutAtOneDpi, TextsFitAndControlsDoNotOverlap) {
  const char* wanted = std::getenv(kDpiVariable);
  if (!wanted) GTEST_SKIP() << "runs in a process of its own, started by DialogLayout.AtEveryDpi";
  const int dpi = std::atoi(wanted);
  HDC screen = GetDC(nullptr);
  const int actual = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  ASSERT_EQ(actual, dpi) << "the process did not start at the DPI set in LogPixels";

  fw::EnsureCommonControls();  // the progress bar's class, as the installer registers it
  const std::string path = InstallExePath();
  HMODULE exe = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(exe, nullptr) << "cannot open " << path;
  CheckDialog(exe, 102, dpi);
  CheckDialog(exe, 129, dpi);
  FreeLibrary(exe);
  std::printf("measured at %d dpi\n", dpi);
}

// Puts LogPixels back as it was, whatever the test did with it.
class LogPixelsGuard {
 public:
  LogPixelsGuard() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return;
    DWORD type = 0, size = sizeof value_;
    had_ = RegQueryValueExA(key, "LogPixels", nullptr, &type, reinterpret_cast<BYTE*>(&value_), &size) ==
               ERROR_SUCCESS &&
           type == REG_DWORD;
    RegCloseKey(key);
  }
  ~LogPixelsGuard() {
    if (had_) {
      Set(value_);
    } else {
      HKEY key;
      if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "LogPixels");
        RegCloseKey(key);
      }
    }
  }
  static bool Set(DWORD dpi) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
      return false;
    bool ok = RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi) ==
              ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
  }

 private:
  DWORD value_ = 0;
  bool had_ = false;
};

// Runs this program's DialogLayoutAtOneDpi test with the DPI in the
// environment; returns its exit code (-1: could not run it) and its output.
int RunAtDpi(int dpi, std::string* output) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return -1;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  PROCESS_INFORMATION pi = {};
  std::string self = SelfPath();
  std::string command = "\"" + self + "\" --gtest_filter=DialogLayoutAtOneDpi.*";
  SetEnvironmentVariableA(kDpiVariable, std::to_string(dpi).c_str());
  BOOL started = CreateProcessA(self.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  SetEnvironmentVariableA(kDpiVariable, nullptr);
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    return -1;
  }
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got > 0) output->append(buf, got);
  CloseHandle(readEnd);
  DWORD code = 1;
  WaitForSingleObject(pi.hProcess, 60000);
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

TEST(DialogLayout, AtEveryDpiNoTextIsCutAndNoControlsOverlap) {
  if (std::getenv(kDpiVariable)) GTEST_SKIP() << "already the process of one DPI";
  LogPixelsGuard restore;
  for (int dpi : kDpis) {
    SCOPED_TRACE("dpi " + std::to_string(dpi));
    ASSERT_TRUE(LogPixelsGuard::Set(dpi));
    std::string output;
    int code = RunAtDpi(dpi, &output);
    std::printf("%s", output.c_str());
    EXPECT_EQ(code, 0) << "the layout at " << dpi << " dpi has faults (see above)";
    EXPECT_NE(output.find("measured at " + std::to_string(dpi) + " dpi"), std::string::npos)
        << "the measuring process did not finish";
  }
}

}  // namespace
