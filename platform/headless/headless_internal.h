// Shared state of the headless backend: the in-memory file system, the open
// objects handed out through the service calls, the windows, the call log and
// the faults. Private to platform/headless: tests and fuzzers use headless.h.
//
// Where things live:
//   paths.cpp            path rules (Resolve, Subject)
//   file_system.cpp      the tree of nodes (Lookup, ParentDir)
//   call_log.cpp         the log of calls
//   faults.cpp           fault matching
//   links.cpp            the bytes of a saved shell link
//   machine.cpp          the state, Reset and the test API of headless.h that
//                        is not about windows
//   services_headless.cpp   plat:: over the machine
//   framework_headless.cpp  fw:: windows, boxes, modal loops, templates
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/headless/headless.h"

namespace hl::detail {

// A file or directory. Children keep their creation order, which is the order
// a listing returns them in (like FAT, unlike NTFS): callers that show sorted
// names must sort themselves.
struct Node {
  std::string name;
  bool isDir = false;
  std::string content;  // a stored file's bytes
  bool sized = false;   // content not stored: `size` zero bytes
  uint64_t size = 0;
  bool unreadable = false;
  plat::FileKind kind = plat::FileKind::kDiskFile;  // for a file: what opening it gives
  uint32_t extraAttributes = 0;  // read-only (1), hidden (2), system (4)
  int openReaders = 0;
  std::vector<std::shared_ptr<Node>> children;
  // The same children by lower-case name: a medium of 100,000 files must not
  // make every lookup a walk through the whole directory.
  std::map<std::string, std::shared_ptr<Node>> byName;

  uint64_t Length() const { return sized ? size : content.size(); }
  std::shared_ptr<Node> Child(const std::string& childName) const;
  void AddChild(const std::shared_ptr<Node>& child);
  void RemoveChild(const std::shared_ptr<Node>& child);
};

// A path resolved against the current drive and directory.
struct Path {
  bool ok = false;  // false: malformed (bad character, UNC, too long, empty)
  char drive = 0;   // upper case
  std::vector<std::string> parts;
  bool trailingSeparator = false;
  std::string Full() const;  // "C:\A\B", "C:\" for a root
};

// ---- Path rules (paths.cpp) --------------------------------------------------------

// Resolves `path` by Windows rules. Input and result longer than 259
// characters (MAX_PATH with its terminator) do not resolve.
Path Resolve(const std::string& path);
bool IEquals(const std::string& a, const std::string& b);
std::string LowerName(const std::string& name);  // the key of Node::byName
// The name of a resolved path as logged and matched by faults: its full path
// when it resolves, else the text as given.
std::string Subject(const std::string& raw);

// ---- The file system (file_system.cpp) -----------------------------------------------

// The object a resolved path names; nullptr when it is missing, when a parent
// is a file, or when a trailing separator follows a file name.
std::shared_ptr<Node> Lookup(const Path& path);
// The directory that holds (or would hold) the last part; nullptr if missing.
std::shared_ptr<Node> ParentDir(const Path& path);

// ---- The log (call_log.cpp) -----------------------------------------------------------

// A call logged on entry, its result filled in on return, so that calls made
// inside it (a paint pump during a copy, a dialog's initialisation inside a
// modal run) follow it in the log.
class LoggedCall {
 public:
  LoggedCall(Op op, std::string arg1, std::string arg2 = std::string());
  int64_t Done(int64_t result);  // returns result
  void SetArg2(std::string arg2);

 private:
  uint64_t generation_;
  size_t index_;
};
int64_t Log(Op op, std::string arg1, std::string arg2, int64_t result);

// ---- Faults (faults.cpp) ---------------------------------------------------------------

// Counts a call of `op` on `subject` (the call's first argument as matched,
// see Subject) against every fault that matches it: a fault still skipping
// lets the call through and counts it. Returns the first of the others that
// still has times left (nullptr: none), which stays in the list. With
// `useUp`, each of those uses up one of its times.
Fault* Armed(Op op, const std::string& subject, bool useUp);
void UseUp(Fault* fault);  // one of its times, unless it strikes every call
// The fault that strikes this call, if any (Armed, using up times). A read
// fault instead takes Armed without useUp, for its byte limit, and uses up a
// time only when the read does fail.
std::optional<Fault> Strike(Op op, const std::string& subject);

// A misuse of the API by the code under test (a stale object): stops the run.
[[noreturn]] void Misuse(const char* what);

// ---- Shell links (links.cpp) -------------------------------------------------------------

// The bytes of a saved shell link in the model's file system.
std::string EncodeLink(const LinkRecord& link);
std::optional<LinkRecord> DecodeLink(const std::string& content);

// ---- The machine (machine.cpp) ---------------------------------------------------------

struct State {
  std::map<char, std::shared_ptr<Node>> drives;
  char curDrive = 'C';
  std::vector<std::string> curParts;
  uint64_t freeBytes = 0;
  bool freeQueryFails = false;
  std::string programsFolder, windowsDir, moduleName;
  int childExitCode = 0;
  int comInitializeCount = 0;
  std::vector<StartedProgram> started;

  std::vector<Fault> faults;
  std::vector<Call> calls;
  uint64_t logGeneration = 0;

  // Objects handed out by the services, owned here until closed or released;
  // Reset frees whatever the code under test left open.
  std::map<void*, std::function<void()>> openObjects;  // object -> deleter
  int openFiles = 0, openFinds = 0, liveComObjects = 0;

  std::vector<std::unique_ptr<Window>> windows;
  Window* active = nullptr;
  Window* focus = nullptr;
  std::vector<MessageBoxRecord> boxes;
  std::deque<int> answers;
  std::function<void(const MessageBoxRecord&)> boxHook;
  std::deque<std::function<void(CDialog&)>> steps;

  // Registered by tests, kept by Reset (see RegisterTemplate).
  std::map<int, TemplateLayout> templates;
};
State& S();

// Frees the service objects still open (part of Reset).
void FreeOpenObjects();
// Names used in the log for windows: "dlg102", "ctl1004", "null".
std::string WindowName(const Window* window);
void ResetWindows();

}  // namespace hl::detail
