// The headless machine as tests set it up and look at it: Reset, files and
// directories made directly, the machine's settings and what the code under
// test left behind.
#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "platform/headless/headless_internal.h"

namespace hl {
namespace detail {

State& S() {
  static State state;
  return state;
}

}  // namespace detail

using namespace detail;

namespace {

// Set-up mistakes of a test, not behaviour of the machine.
[[noreturn]] void Fail(const std::string& what) { throw std::logic_error("headless: " + what); }

}  // namespace

void Reset() {
  FreeOpenObjects();
  ResetWindows();
  State& s = S();
  s.drives.clear();
  s.curDrive = 'C';
  s.curParts.clear();
  s.freeBytes = uint64_t{1} << 30;
  s.freeQueryFails = false;
  s.programsFolder = "C:\\Users\\user\\Start Menu\\Programs";
  s.windowsDir = "C:\\WINDOWS";
  s.moduleName = "INSTALL";
  s.childExitCode = 0;
  s.comInitializeCount = 0;
  s.started.clear();
  s.faults.clear();
  s.calls.clear();
  ++s.logGeneration;
  AddDrive('C');
  AddFile("C:\\WINDOWS\\notepad.exe", "MZ notepad");
  AddDir("C:\\MEDIA");
  AddDir(s.programsFolder);
  SetCurrentDir("C:\\MEDIA");
}

void AddDrive(char letter) {
  if (!std::isalpha(static_cast<unsigned char>(letter))) Fail("bad drive letter");
  char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  auto& root = S().drives[drive];
  if (!root) {
    root = std::make_shared<Node>();
    root->isDir = true;
    root->name = std::string(1, drive) + ":";
  }
}

namespace {

// Creates the missing directories of `path` (the drive too).
std::shared_ptr<Node> MakeDirs(const Path& path, size_t count) {
  AddDrive(path.drive);
  std::shared_ptr<Node> node = S().drives[path.drive];
  for (size_t i = 0; i < count; ++i) {
    std::shared_ptr<Node> child = node->Child(path.parts[i]);
    if (!child) {
      child = std::make_shared<Node>();
      child->isDir = true;
      child->name = path.parts[i];
      node->AddChild(child);
    } else if (!child->isDir) {
      Fail("a file is in the way: " + path.Full());
    }
    node = child;
  }
  return node;
}

Path MustResolve(const std::string& text) {
  Path path = Resolve(text);
  if (!path.ok) Fail("not a usable path: \"" + text + "\"");
  return path;
}

std::shared_ptr<Node> PutFile(const std::string& text) {
  Path path = MustResolve(text);
  if (path.parts.empty()) Fail("a file needs a name: " + text);
  std::shared_ptr<Node> dir = MakeDirs(path, path.parts.size() - 1);
  std::shared_ptr<Node> file = dir->Child(path.parts.back());
  if (file && file->isDir) Fail("a directory is in the way: " + path.Full());
  if (!file) {
    file = std::make_shared<Node>();
    file->name = path.parts.back();
    dir->AddChild(file);
  }
  return file;
}

void Collect(const Node& dir, const std::string& prefix, std::vector<std::string>* out) {
  for (const auto& child : dir.children) {
    std::string full = prefix + child->name;
    out->push_back(full);
    if (child->isDir) Collect(*child, full + "\\", out);
  }
}

std::shared_ptr<Node> Find(const std::string& text) { return Lookup(Resolve(text)); }

}  // namespace

void AddDir(const std::string& path) {
  Path resolved = MustResolve(path);
  MakeDirs(resolved, resolved.parts.size());
}

void AddFile(const std::string& path, const std::string& content) {
  std::shared_ptr<Node> file = PutFile(path);
  file->sized = false;
  file->size = 0;
  file->content = content;
}

void AddSizedFile(const std::string& path, uint64_t size) {
  std::shared_ptr<Node> file = PutFile(path);
  file->content.clear();
  file->sized = true;
  file->size = size;
}

void SetCurrentDir(const std::string& path) {
  Path resolved = MustResolve(path);
  std::shared_ptr<Node> node = Lookup(resolved);
  if (!node || !node->isDir) Fail("current directory must exist: " + path);
  S().curDrive = resolved.drive;
  S().curParts = resolved.parts;
}

std::string CurrentDir() {
  Path path;
  path.drive = S().curDrive;
  path.parts = S().curParts;
  return path.Full();
}

bool Exists(const std::string& path) { return Find(path) != nullptr; }

bool IsDir(const std::string& path) {
  auto node = Find(path);
  return node && node->isDir;
}

bool IsFile(const std::string& path) {
  auto node = Find(path);
  return node && !node->isDir;
}

std::string ReadContent(const std::string& path) {
  auto node = Find(path);
  if (!node || node->isDir) return std::string();
  return node->sized ? std::string(static_cast<size_t>(node->size), '\0') : node->content;
}

uint64_t FileSize(const std::string& path) {
  auto node = Find(path);
  return node && !node->isDir ? node->Length() : 0;
}

std::vector<std::string> ListAll() {
  std::vector<std::string> all;
  for (const auto& drive : S().drives) Collect(*drive.second, std::string(1, drive.first) + ":\\", &all);
  std::sort(all.begin(), all.end());
  return all;
}

void SetUnreadable(const std::string& path, bool unreadable) {
  auto node = Find(path);
  if (!node || node->isDir) Fail("SetUnreadable needs a file: " + path);
  node->unreadable = unreadable;
}

void SetFileKind(const std::string& path, plat::FileKind kind) {
  auto node = Find(path);
  if (!node || node->isDir) Fail("SetFileKind needs a file: " + path);
  node->kind = kind;
}

void SetAttributes(const std::string& path, uint32_t bits) {
  auto node = Find(path);
  if (!node) Fail("SetAttributes needs an existing path: " + path);
  node->extraAttributes = bits & 0x7u;
}

void SetFreeBytes(std::optional<uint64_t> bytes) {
  State& s = S();
  s.freeQueryFails = !bytes.has_value();
  if (bytes) s.freeBytes = *bytes;
}

uint64_t FreeBytes() { return S().freeBytes; }

void SetProgramsFolder(const std::string& path) { S().programsFolder = path; }
std::string ProgramsFolder() { return S().programsFolder; }
void SetWindowsDir(const std::string& path) { S().windowsDir = path; }
void SetModuleName(const std::string& name) { S().moduleName = name; }

int ComInitializeCount() { return S().comInitializeCount; }
int OpenFileCount() { return S().openFiles; }
int OpenFindCount() { return S().openFinds; }
int LiveComObjectCount() { return S().liveComObjects; }

const std::vector<StartedProgram>& StartedPrograms() { return S().started; }
void SetChildExitCode(int code) { S().childExitCode = code; }

}  // namespace hl
