// Control and observation of the headless backend, for native tests.
//
// The headless backend implements platform/services.h and the window
// primitives of platform/framework.h without Windows: an in-memory file system
// with Windows path rules, windows as plain objects, scripted message boxes and
// modal loops, and one ordered log of every call. Any call can be made to fail.
// It models what the installer's callers rely on, not the whole of Windows.
//
// Everything here is process-global and single-threaded, like the installer.
// Tests call hl::Reset() first (the test main does it before every test), and
// register the dialog templates they use once (RegisterTemplate).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/framework.h"
#include "platform/services.h"

namespace hl {

// ---- The machine ---------------------------------------------------------------

// Empties everything and sets up a small machine:
//   drive C: with C:\WINDOWS (holding notepad.exe), C:\MEDIA as the current
//   directory, and the Programs folder
//   C:\Users\user\Start Menu\Programs (existing, empty);
//   free space 1 GiB on every drive; module name "INSTALL";
//   no faults, no logs, no windows, no scripted answers.
void Reset();

// Paths follow Windows rules: "\" and "/" separate,
// a drive letter and colon start an absolute path, "\X" is rooted on the
// current drive, anything else is relative to the current directory; names
// compare case-insensitively and keep the case they were created with.
// Doubled backslashes count as one, "." and ".." are folded (".." stops at the
// root), a leading "\\" (a UNC name) and the characters < > : " | ? * inside a
// name never resolve. Like MAX_PATH, a path (as given or resolved) longer than
// 259 characters fails every call, and CreateDir fails above 247 characters,
// the limit CreateDirectoryA has on real Windows (room for an 8.3 name).
// A root directory has no "." and ".." entries in a listing; other directories
// list them first, then their children in creation order (not sorted).
void AddDrive(char letter);  // with its root directory
// The full path `path` resolves to by these rules right now ("C:\A\B",
// "C:\" for a root), or "" when it does not resolve.
std::string ResolvedPath(const std::string& path);
void AddDir(const std::string& path);                               // parents too
void AddFile(const std::string& path, const std::string& content);  // parents too
// A file of `size` bytes whose content is not stored (reads as zero bytes):
// for media of many gigabytes.
void AddSizedFile(const std::string& path, uint64_t size);
void SetCurrentDir(const std::string& path);  // must name an existing directory
std::string CurrentDir();

bool Exists(const std::string& path);
bool IsDir(const std::string& path);
bool IsFile(const std::string& path);
std::string ReadContent(const std::string& path);  // "" if not a file
uint64_t FileSize(const std::string& path);        // 0 if not a file
// Every object on every drive as a full path ("C:\MEDIA\setup.inf"), sorted,
// directories included. Handy to show that nothing was written.
std::vector<std::string> ListAll();
// A file that exists but cannot be opened for reading (or copied from).
void SetUnreadable(const std::string& path, bool unreadable = true);
// What an existing file is when opened (plat::GetFileKind): a medium can
// reach a device or a pipe through a name that looks like any other.
void SetFileKind(const std::string& path, plat::FileKind kind);
// Read-only (1), hidden (2) and system (4) bits of a file or directory, shown
// by GetFileAttribs and listings beside the directory bit.
void SetAttributes(const std::string& path, uint32_t bits);

// Free space of every drive. It is also the capacity for new data: a copy
// that does not fit writes what fits and fails with kFailedPartial (a full
// disk), and a copy reduces it. std::nullopt: the query fails everywhere.
void SetFreeBytes(std::optional<uint64_t> bytes);
uint64_t FreeBytes();
// "" makes GetProgramsFolderPath fail.
void SetProgramsFolder(const std::string& path);
std::string ProgramsFolder();
void SetWindowsDir(const std::string& path);  // "" makes GetWindowsDir fail
void SetModuleName(const std::string& name);

// ---- Faults --------------------------------------------------------------------

enum class Op {
  // services
  kGetFileAttribs, kCreateDir, kRemoveDir, kDeleteFile, kCopyFile, kGetFreeBytes,
  kGetWindowsDir, kFindFirst, kFindNext, kFindEnd, kOpenForRead, kReadBytes,
  kGetFileLength, kCloseFile, kProgramsFolder, kComInitialize, kCreateShellLink,
  kSetPath, kSetDescription, kSetWorkingDirectory, kQueryPersistFile,
  kShellLinkRelease, kAnsiToWide, kPersistFileSave, kPersistFileRelease,
  kStartProgram, kPumpPaint, kGetFileKind, kGetFullPath,
  // windows
  kCreateDialog, kRunModal, kEndModal, kDestroyWindow, kShowWindow, kSetText,
  kSendMessage, kActivate, kMessageBox, kCommonControls, kErrorMode, kLoadIcon,
  // painting: arg1 the window; kDrawIcon arg1 "x y", arg2 the icon ("icon128")
  kBeginPaint, kEndPaint, kDrawIcon,
  // start-up: the DLL search order is restricted (fw::HardenDllSearch)
  kHardenDllSearch,
};
const char* OpName(Op op);

struct Fault {
  Op op;
  std::string path;  // "" matches any call; else the call's first argument, resolved
                     // to a full path and compared case-insensitively (FindFirst:
                     // the resolved directory joined with the name pattern)
  int skip = 0;      // matching calls let through before the fault strikes
  int times = 1;     // how many calls it strikes; -1: every later one
  // For COM operations: the HRESULT returned (negative). For kReadBytes: the
  // fault strikes after this many bytes were read from the file.
  int64_t value = plat::kEFail;
  // kCopyFile only: leave a truncated destination of this many bytes and
  // report kFailedPartial (a medium error part-way); -1: fail before writing.
  int64_t partialBytes = -1;
};
void InjectFault(const Fault& fault);

// ---- The log ---------------------------------------------------------------------

struct Call {
  Op op;
  std::string arg1;  // first argument: a path, a window ("dlg102", "ctl1004"), a text
  std::string arg2;  // second argument if any (destination, text, message as "0x402 5 0")
  int64_t result;
};
const std::vector<Call>& Calls();
std::vector<Call> CallsOf(Op op);
void ClearCalls();
// One line per call, "OpName arg1 | arg2 -> result", for readable failures.
std::string DumpCalls();

// ---- Shell links, COM, processes ---------------------------------------------------

// A saved shell link is a file in the in-memory file system; this reads it back.
struct LinkRecord {
  std::string target, description, workingDirectory;
};
std::optional<LinkRecord> ReadLink(const std::string& path);
int ComInitializeCount();
// Objects the code under test holds open right now: readers from OpenForRead,
// listings from FindFirst, shell-link COM objects (a link and its persist-file
// interface count as one object until both are released).
int OpenFileCount();
int OpenFindCount();
int LiveComObjectCount();

struct StartedProgram {
  std::string program;      // as resolved (".\" added for a bare name)
  std::string commandLine;  // the arguments joined by single blanks
  bool waited;
};
const std::vector<StartedProgram>& StartedPrograms();
void SetChildExitCode(int code);  // returned by a waited start (default 0)

// ---- Dialog templates ----------------------------------------------------------------

// The model knows no program's resources: what it knows of a dialog template
// is what a test registers, as the resource script has it. A dialog of a
// registered template gets the caption, is visible on creation if the
// template is WS_VISIBLE, reports the client size, has exactly the controls
// listed (with their texts), and, when its initialisation leaves the focus to
// the system, focuses the first control that is a tab stop. A dialog of an
// unregistered template has no caption, is hidden until shown, has a client
// area of 0 x 0, makes any control id on first use and focuses nothing.
// Registrations are like the program's resources: Reset keeps them.
struct ControlLayout {
  int id;
  std::string text;
  bool tabStop = false;
};
struct TemplateLayout {
  int id = 0;
  std::string caption;
  bool visible = false;  // WS_VISIBLE
  int clientWidth = 0, clientHeight = 0;  // pixels
  std::vector<ControlLayout> controls;    // in template order
};
void RegisterTemplate(const TemplateLayout& layout);  // replaces one of the same id

// ---- Windows -------------------------------------------------------------------------

struct Message {
  unsigned msg;
  uintptr_t wParam;
  intptr_t lParam;
  std::string text;  // copy of a string lParam (CB_ADDSTRING, CB_SELECTSTRING)
};

struct Window {
  int id = 0;          // control id; for a dialog its template id
  bool isDialog = false;
  std::string text;
  Window* parent = nullptr;  // a control's dialog
  Window* owner = nullptr;   // a dialog's owner
  bool visible = false;
  bool minimized = false;  // set by a test (or SW_MINIMIZE) to take IsIconic paths
  bool destroyed = false;
  std::vector<std::string> items;  // combo box list, kept sorted ignoring case
  int selected = -1;               // combo box selection
  int rangeLow = 0, rangeHigh = 100, pos = 0;  // progress bar
  fw::IconHandle iconBig = nullptr, iconSmall = nullptr;
  std::vector<Message> sent;  // every message sent to this window, in order
  std::vector<Window*> children;
  CDialog* object = nullptr;  // the framework object of a dialog
  intptr_t endResult = 0;
  bool ended = false;
};
Window* Get(fw::WindowHandle handle);
// Every window created since Reset, destroyed ones included (they stay for
// inspection), in creation order.
std::vector<Window*> AllWindows();
// The dialog of a template created last (nullptr if none).
Window* LastDialog(int templateId);
// Created on first use while the dialog exists, like a template's control (a
// registered template has only its own control ids); kept after the dialog is
// destroyed.
Window* Child(Window* dialog, int id);
Window* ActiveWindow();
Window* FocusWindow();  // after a modal dialog's initialisation: see RegisterTemplate

// ---- Message boxes -----------------------------------------------------------------------

struct MessageBoxRecord {
  fw::WindowHandle owner;  // nullptr: no owner
  std::string text, caption;
  unsigned type;
  int answer;
};
const std::vector<MessageBoxRecord>& MessageBoxes();
// Answers for the next boxes, in order. An unscripted box answers fw::kIdOk,
// or fw::kIdYes for fw::kMbYesNo.
void QueueMessageBoxAnswer(int answer);
// Called while a box is up (after it is logged), e.g. to look at the state.
void SetMessageBoxHook(std::function<void(const MessageBoxRecord&)> hook);

// ---- Modal loops ---------------------------------------------------------------------------

// Steps run inside the next modal loops, in order, after OnInitDialog: each
// acts on the running dialog (click, type, ...). A loop ends as soon as
// EndDialog is called. If the steps run out first, RunModal returns
// kScriptExhausted and the dialog is destroyed.
constexpr intptr_t kScriptExhausted = -1000;
void QueueModalStep(std::function<void(CDialog&)> step);
// Helpers for steps: what the real window would do on a click / on typing.
void Click(CDialog& dialog, int id);  // WM_COMMAND BN_CLICKED from control id
// Replaces the control's text; in a combo box no list item stays selected.
void Type(CDialog& dialog, int id, const std::string& text);
std::string TextOf(CDialog& dialog, int id);

}  // namespace hl
