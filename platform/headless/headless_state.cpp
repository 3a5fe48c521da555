// The headless machine: path rules, the in-memory file system, the call log,
// faults, and the test-control functions of headless.h that are not about
// windows.
#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "platform/headless/headless_internal.h"

namespace hl {
namespace detail {

namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Characters Windows refuses inside a file name.
bool BadNameChar(unsigned char c) { return c < 0x20 || std::strchr("<>:\"|?*", c) != nullptr; }

constexpr size_t kMaxPathChars = 259;

void Fail(const std::string& what) { throw std::logic_error("headless: " + what); }

}  // namespace

State& S() {
  static State state;
  return state;
}

bool IEquals(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

namespace {
std::string LowerName(const std::string& name) {
  std::string key(name);
  for (char& c : key) c = Lower(c);
  return key;
}
}  // namespace

std::shared_ptr<Node> Node::Child(const std::string& childName) const {
  auto it = byName.find(LowerName(childName));
  return it == byName.end() ? nullptr : it->second;
}

void Node::AddChild(const std::shared_ptr<Node>& child) {
  children.push_back(child);
  byName[LowerName(child->name)] = child;
}

void Node::RemoveChild(const std::shared_ptr<Node>& child) {
  children.erase(std::find(children.begin(), children.end(), child));
  byName.erase(LowerName(child->name));
}

std::string Path::Full() const {
  std::string full(1, drive);
  full += ":\\";
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) full += '\\';
    full += parts[i];
  }
  return full;
}

Path Resolve(const std::string& in) {
  Path path;
  if (in.empty() || in.size() > kMaxPathChars) return path;
  const State& s = S();
  size_t i = 0;
  if (in.size() >= 2 && in[1] == ':' && std::isalpha(static_cast<unsigned char>(in[0]))) {
    path.drive = static_cast<char>(std::toupper(static_cast<unsigned char>(in[0])));
    i = 2;
    // "C:name" is relative to the drive's current directory; the model keeps
    // one only for the current drive, the others sit at their roots.
    if ((i >= in.size() || (in[i] != '\\' && in[i] != '/')) && path.drive == s.curDrive) path.parts = s.curParts;
  } else if (in[0] == '\\' || in[0] == '/') {
    if (in.size() >= 2 && (in[1] == '\\' || in[1] == '/')) return path;  // UNC names are not modelled
    path.drive = s.curDrive;
  } else {
    path.drive = s.curDrive;
    path.parts = s.curParts;
  }
  std::string part;
  for (; i <= in.size(); ++i) {
    if (i < in.size() && in[i] != '\\' && in[i] != '/') {
      if (BadNameChar(static_cast<unsigned char>(in[i]))) return Path{};
      part += in[i];
      continue;
    }
    // Empty parts come from doubled separators, which Windows folds.
    if (part == "..") {
      if (!path.parts.empty()) path.parts.pop_back();
    } else if (!part.empty() && part != ".") {
      path.parts.push_back(part);
    }
    part.clear();
  }
  path.trailingSeparator = in.back() == '\\' || in.back() == '/';
  if (path.Full().size() > kMaxPathChars) return Path{};
  path.ok = true;
  return path;
}

std::shared_ptr<Node> Lookup(const Path& path) {
  if (!path.ok) return nullptr;
  const State& s = S();
  auto drive = s.drives.find(path.drive);
  if (drive == s.drives.end()) return nullptr;
  std::shared_ptr<Node> node = drive->second;
  for (const auto& part : path.parts) {
    if (!node->isDir) return nullptr;
    node = node->Child(part);
    if (!node) return nullptr;
  }
  if (path.trailingSeparator && !node->isDir) return nullptr;
  return node;
}

std::shared_ptr<Node> ParentDir(const Path& path) {
  if (!path.ok || path.parts.empty()) return nullptr;
  Path parent = path;
  parent.parts.pop_back();
  parent.trailingSeparator = false;
  std::shared_ptr<Node> node = Lookup(parent);
  return node && node->isDir ? node : nullptr;
}

std::string Subject(const std::string& raw) {
  Path path = Resolve(raw);
  return path.ok ? path.Full() : raw;
}

// ---- Log -----------------------------------------------------------------------------

LoggedCall::LoggedCall(Op op, std::string arg1, std::string arg2) {
  State& s = S();
  generation_ = s.logGeneration;
  index_ = s.calls.size();
  s.calls.push_back(Call{op, std::move(arg1), std::move(arg2), 0});
}

int64_t LoggedCall::Done(int64_t result) {
  State& s = S();
  if (s.logGeneration == generation_ && index_ < s.calls.size()) s.calls[index_].result = result;
  return result;
}

void LoggedCall::SetArg2(std::string arg2) {
  State& s = S();
  if (s.logGeneration == generation_ && index_ < s.calls.size()) s.calls[index_].arg2 = std::move(arg2);
}

int64_t Log(Op op, std::string arg1, std::string arg2, int64_t result) {
  S().calls.push_back(Call{op, std::move(arg1), std::move(arg2), result});
  return result;
}

// ---- Faults ------------------------------------------------------------------------

namespace {

bool Matches(const Fault& fault, Op op, const std::string& subject) {
  if (fault.op != op) return false;
  if (fault.path.empty()) return true;
  return IEquals(fault.path, subject) || IEquals(Subject(fault.path), subject);
}

}  // namespace

std::optional<Fault> Strike(Op op, const std::string& subject) {
  std::optional<Fault> hit;
  for (Fault& fault : S().faults) {
    if (!Matches(fault, op, subject)) continue;
    if (fault.skip > 0) {
      --fault.skip;
      continue;
    }
    if (fault.times == 0) continue;
    if (fault.times > 0) --fault.times;
    if (!hit) hit = fault;
  }
  return hit;
}

Fault* ReadFault(const std::string& subject) {
  Fault* hit = nullptr;
  for (Fault& fault : S().faults) {
    if (!Matches(fault, Op::kReadBytes, subject)) continue;
    if (fault.skip > 0) {
      --fault.skip;
      continue;
    }
    if (fault.times == 0) continue;
    if (!hit) hit = &fault;
  }
  return hit;
}

void ConsumeReadFault(Fault* fault) {
  if (fault && fault->times > 0) --fault->times;
}

void Misuse(const char* what) {
  std::fprintf(stderr, "headless backend: %s\n", what);
  std::abort();
}

// ---- Links ---------------------------------------------------------------------------

// Each field as "Name length:text" so that any character survives.
std::string EncodeLink(const LinkRecord& link) {
  std::string out = "HEADLESS SHELL LINK\n";
  auto field = [&out](const char* name, const std::string& value) {
    out += name;
    out += ' ';
    out += std::to_string(value.size());
    out += ':';
    out += value;
    out += '\n';
  };
  field("Target", link.target);
  field("Description", link.description);
  field("WorkingDirectory", link.workingDirectory);
  return out;
}

std::optional<LinkRecord> DecodeLink(const std::string& content) {
  const std::string header = "HEADLESS SHELL LINK\n";
  if (content.compare(0, header.size(), header) != 0) return std::nullopt;
  size_t pos = header.size();
  auto field = [&](const char* name, std::string* value) {
    std::string prefix = std::string(name) + ' ';
    if (content.compare(pos, prefix.size(), prefix) != 0) return false;
    pos += prefix.size();
    size_t colon = content.find(':', pos);
    if (colon == std::string::npos) return false;
    size_t len = std::strtoul(content.substr(pos, colon - pos).c_str(), nullptr, 10);
    if (colon + 1 + len + 1 > content.size() || content[colon + 1 + len] != '\n') return false;
    *value = content.substr(colon + 1, len);
    pos = colon + 1 + len + 1;
    return true;
  };
  LinkRecord link;
  if (!field("Target", &link.target) || !field("Description", &link.description) ||
      !field("WorkingDirectory", &link.workingDirectory)) {
    return std::nullopt;
  }
  return link;
}

}  // namespace detail

using namespace detail;

// ---- The machine -------------------------------------------------------------------

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

// Creates the missing directories of `path` (the drive too) for test set-up.
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

// ---- Faults and log ------------------------------------------------------------------

const char* OpName(Op op) {
  switch (op) {
    case Op::kGetFileAttribs: return "GetFileAttribs";
    case Op::kCreateDir: return "CreateDir";
    case Op::kRemoveDir: return "RemoveDir";
    case Op::kDeleteFile: return "DeleteFile";
    case Op::kCopyFile: return "CopyFile";
    case Op::kGetFreeBytes: return "GetFreeBytes";
    case Op::kGetWindowsDir: return "GetWindowsDir";
    case Op::kFindFirst: return "FindFirst";
    case Op::kFindNext: return "FindNext";
    case Op::kFindEnd: return "FindEnd";
    case Op::kOpenForRead: return "OpenForRead";
    case Op::kReadBytes: return "ReadBytes";
    case Op::kGetFileLength: return "GetFileLength";
    case Op::kCloseFile: return "CloseFile";
    case Op::kProgramsFolder: return "ProgramsFolder";
    case Op::kComInitialize: return "ComInitialize";
    case Op::kCreateShellLink: return "CreateShellLink";
    case Op::kSetPath: return "SetPath";
    case Op::kSetDescription: return "SetDescription";
    case Op::kSetWorkingDirectory: return "SetWorkingDirectory";
    case Op::kQueryPersistFile: return "QueryPersistFile";
    case Op::kShellLinkRelease: return "ShellLinkRelease";
    case Op::kAnsiToWide: return "AnsiToWide";
    case Op::kPersistFileSave: return "PersistFileSave";
    case Op::kPersistFileRelease: return "PersistFileRelease";
    case Op::kStartProgram: return "StartProgram";
    case Op::kPumpPaint: return "PumpPaint";
    case Op::kGetFileKind: return "GetFileKind";
    case Op::kGetFullPath: return "GetFullPath";
    case Op::kCreateDialog: return "CreateDialog";
    case Op::kRunModal: return "RunModal";
    case Op::kEndModal: return "EndModal";
    case Op::kDestroyWindow: return "DestroyWindow";
    case Op::kShowWindow: return "ShowWindow";
    case Op::kSetText: return "SetText";
    case Op::kSendMessage: return "SendMessage";
    case Op::kActivate: return "Activate";
    case Op::kMessageBox: return "MessageBox";
    case Op::kCommonControls: return "CommonControls";
    case Op::kErrorMode: return "ErrorMode";
    case Op::kLoadIcon: return "LoadIcon";
    case Op::kBeginPaint: return "BeginPaint";
    case Op::kEndPaint: return "EndPaint";
    case Op::kDrawIcon: return "DrawIcon";
    case Op::kHardenDllSearch: return "HardenDllSearch";
  }
  return "?";
}

void InjectFault(const Fault& fault) { S().faults.push_back(fault); }

const std::vector<Call>& Calls() { return S().calls; }

std::vector<Call> CallsOf(Op op) {
  std::vector<Call> out;
  for (const Call& call : S().calls) {
    if (call.op == op) out.push_back(call);
  }
  return out;
}

void ClearCalls() {
  S().calls.clear();
  ++S().logGeneration;
}

std::string DumpCalls() {
  std::string out;
  for (const Call& call : S().calls) {
    out += OpName(call.op);
    if (!call.arg1.empty()) out += " " + call.arg1;
    if (!call.arg2.empty()) out += " | " + call.arg2;
    out += " -> " + std::to_string(call.result) + "\n";
  }
  return out;
}

// ---- Shell links, COM, processes -------------------------------------------------------

std::optional<LinkRecord> ReadLink(const std::string& path) {
  auto node = Find(path);
  if (!node || node->isDir || node->sized) return std::nullopt;
  return DecodeLink(node->content);
}

int ComInitializeCount() { return S().comInitializeCount; }
int OpenFileCount() { return S().openFiles; }
int OpenFindCount() { return S().openFinds; }
int LiveComObjectCount() { return S().liveComObjects; }

const std::vector<StartedProgram>& StartedPrograms() { return S().started; }
void SetChildExitCode(int code) { S().childExitCode = code; }

}  // namespace hl
