// plat:: services over the headless machine. Every call is logged with its
// first argument as given (the caller's text, not the resolved path) and can be
// failed by a fault; faults match on the resolved path.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "platform/headless/headless_internal.h"
#include "platform/services.h"

using hl::Op;
using hl::detail::Log;
using hl::detail::LoggedCall;
using hl::detail::Lookup;
using hl::detail::Node;
using hl::detail::ParentDir;
using hl::detail::Path;
using hl::detail::Resolve;
using hl::detail::S;
using hl::detail::Strike;
using hl::detail::Subject;

namespace plat {

struct FileReader {
  std::shared_ptr<Node> node;
  std::string subject;  // resolved path, for faults
  std::string arg;      // path as the caller gave it, for the log
  uint64_t pos = 0;
};

struct FindState {
  std::string subject, arg;
  std::vector<FindData> entries;
  size_t next = 0;
};

struct PersistFile {
  ShellLink* link;
};

struct ShellLink {
  hl::LinkRecord record;
  PersistFile persist{this};
  int refs = 1;
};

}  // namespace plat

namespace {

std::string Str(const char* text) { return text ? std::string(text) : std::string(); }

// Registry of the objects handed out, so that a stale or foreign pointer from
// the code under test is caught instead of being followed.
template <typename T>
T* Track(std::unique_ptr<T> object, int* counter) {
  T* raw = object.release();
  ++*counter;
  S().openObjects[raw] = [raw, counter] {
    --*counter;
    delete raw;
  };
  return raw;
}

bool IsOpen(void* object) { return S().openObjects.count(object) != 0; }

void Untrack(void* object) {
  auto it = S().openObjects.find(object);
  if (it == S().openObjects.end()) return;
  auto deleter = std::move(it->second);
  S().openObjects.erase(it);
  deleter();
}

std::string Num(uint64_t value) { return std::to_string(value); }

// Replaces (or creates) the file `name` in `dir` with the first `bytes` bytes
// of `src`, charging the free space. The caller has checked that the space is
// there.
void WriteFile(Node& dir, const std::shared_ptr<Node>& existing, const std::string& name, const Node& src,
               uint64_t bytes) {
  std::shared_ptr<Node> dst = existing;
  if (!dst) {
    dst = std::make_shared<Node>();
    dst->name = name;
    dir.AddChild(dst);
  }
  if (src.sized) {
    dst->content.clear();
    dst->sized = true;
    dst->size = bytes;
  } else {
    dst->sized = false;
    dst->size = 0;
    dst->content = src.content.substr(0, static_cast<size_t>(bytes));
  }
  dst->unreadable = false;
  S().freeBytes -= bytes;
}

// Wildcard match of FindFirstFile, ignoring case. "*.*" matches every name,
// including those without a dot, as it always has on Windows.
bool WildMatch(const char* pattern, const char* name) {
  if (std::strcmp(pattern, "*.*") == 0) return true;
  const char* starP = nullptr;
  const char* starN = nullptr;
  while (*name) {
    if (*pattern == '*') {
      starP = pattern++;
      starN = name;
    } else if (*pattern == '?' || std::tolower(static_cast<unsigned char>(*pattern)) ==
                                      std::tolower(static_cast<unsigned char>(*name))) {
      ++pattern;
      ++name;
    } else if (starP) {
      pattern = starP + 1;
      name = ++starN;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

// A directory's or file's attribute bits as Windows reports them: the kind,
// plus the read-only, hidden and system bits a test gave it.
uint32_t Attributes(const Node& node) {
  return (node.isDir ? plat::kFileAttributeDirectory : 0x20u) | node.extraAttributes;
}

plat::FindData Entry(const std::string& name, uint32_t attributes) {
  plat::FindData data{};
  data.attributes = attributes;
  std::snprintf(data.name, sizeof data.name, "%s", name.c_str());
  return data;
}

}  // namespace

namespace plat {

// ---- Files and directories -------------------------------------------------------

uint32_t GetFileAttribs(const char* path) {
  std::string arg = Str(path);
  LoggedCall call(Op::kGetFileAttribs, arg);
  if (Strike(Op::kGetFileAttribs, Subject(arg))) return static_cast<uint32_t>(call.Done(kInvalidFileAttributes));
  auto node = Lookup(Resolve(arg));
  uint32_t attribs = node ? Attributes(*node) : kInvalidFileAttributes;
  call.Done(attribs);
  return attribs;
}

bool CreateDir(const char* path) {
  std::string arg = Str(path);
  LoggedCall call(Op::kCreateDir, arg);
  if (Strike(Op::kCreateDir, Subject(arg))) return call.Done(0);
  Path resolved = Resolve(arg);
  // CreateDirectoryA leaves room for an 8.3 name below the new directory.
  if (!resolved.ok || arg.size() > 247 || resolved.Full().size() > 247) return call.Done(0);
  if (resolved.parts.empty()) return call.Done(0);  // a root exists already
  auto parent = ParentDir(resolved);
  if (!parent || parent->Child(resolved.parts.back())) return call.Done(0);
  auto dir = std::make_shared<Node>();
  dir->isDir = true;
  dir->name = resolved.parts.back();
  parent->AddChild(dir);
  return call.Done(1);
}

bool RemoveDir(const char* path) {
  std::string arg = Str(path);
  LoggedCall call(Op::kRemoveDir, arg);
  if (Strike(Op::kRemoveDir, Subject(arg))) return call.Done(0);
  Path resolved = Resolve(arg);
  auto node = Lookup(resolved);
  if (!node || !node->isDir || !node->children.empty() || resolved.parts.empty()) return call.Done(0);
  // A process's current directory is in use and cannot be removed.
  if (resolved.drive == S().curDrive && resolved.parts.size() == S().curParts.size() &&
      std::equal(resolved.parts.begin(), resolved.parts.end(), S().curParts.begin(), hl::detail::IEquals)) {
    return call.Done(0);
  }
  ParentDir(resolved)->RemoveChild(node);
  return call.Done(1);
}

bool DeleteFileAt(const char* path) {
  std::string arg = Str(path);
  LoggedCall call(Op::kDeleteFile, arg);
  if (Strike(Op::kDeleteFile, Subject(arg))) return call.Done(0);
  Path resolved = Resolve(arg);
  auto node = Lookup(resolved);
  // A file open for reading is not shared for deletion.
  if (!node || node->isDir || node->openReaders > 0) return call.Done(0);
  ParentDir(resolved)->RemoveChild(node);
  S().freeBytes += node->Length();
  return call.Done(1);
}

CopyResult CopyFileOver(const char* src, const char* dst) {
  std::string srcArg = Str(src), dstArg = Str(dst);
  LoggedCall call(Op::kCopyFile, srcArg, dstArg);
  auto done = [&call](CopyResult result) {
    call.Done(static_cast<int64_t>(result));
    return result;
  };
  PumpPaintMessages();

  std::optional<hl::Fault> fault = Strike(Op::kCopyFile, Subject(srcArg));
  if (fault && fault->partialBytes < 0) return done(CopyResult::kFailed);

  Path srcPath = Resolve(srcArg), dstPath = Resolve(dstArg);
  auto source = Lookup(srcPath);
  if (!source || source->isDir || source->unreadable) return done(CopyResult::kFailed);
  auto dir = ParentDir(dstPath);
  if (!dir || dstPath.trailingSeparator) return done(CopyResult::kFailed);
  auto existing = dir->Child(dstPath.parts.back());
  // Onto a directory, onto itself, onto a read-only file, or onto a file
  // someone has open: the destination cannot be replaced, nothing changes.
  if (existing && (existing->isDir || existing == source || (existing->extraAttributes & 0x1u) ||
                   existing->openReaders > 0)) {
    return done(CopyResult::kFailed);
  }

  // The new content is written beside an earlier file before it replaces
  // it, so the earlier file's space is not free for the copy.
  uint64_t available = S().freeBytes;
  uint64_t wanted = source->Length();
  bool partial = false;
  if (fault) {
    wanted = std::min<uint64_t>(wanted, static_cast<uint64_t>(fault->partialBytes));
    partial = true;
  }
  if (wanted > available) {
    wanted = available;
    partial = true;
  }
  // An earlier file is replaced only by a complete copy (the real backend
  // writes a temporary file beside it first): a failure leaves it as it was.
  if (existing && partial) return done(CopyResult::kFailed);
  if (existing) S().freeBytes += existing->Length();
  WriteFile(*dir, existing, dstPath.parts.back(), *source, wanted);
  return done(partial ? CopyResult::kFailedPartial : CopyResult::kCopied);
}

bool GetFreeBytes(const char* dir, uint64_t* freeBytes) {
  std::string arg = Str(dir);
  LoggedCall call(Op::kGetFreeBytes, arg);
  if (Strike(Op::kGetFreeBytes, Subject(arg)) || S().freeQueryFails || !freeBytes) return call.Done(0);
  auto node = Lookup(Resolve(arg));
  if (!node || !node->isDir) return call.Done(0);
  *freeBytes = S().freeBytes;
  call.SetArg2(Num(S().freeBytes));
  return call.Done(1);
}

unsigned GetWindowsDir(char* buf, unsigned size) {
  LoggedCall call(Op::kGetWindowsDir, "");
  if (buf && size > 0) buf[0] = '\0';
  const std::string& dir = S().windowsDir;
  if (Strike(Op::kGetWindowsDir, "") || !buf || dir.empty() || dir.size() + 1 > size) {
    return static_cast<unsigned>(call.Done(0));
  }
  std::memcpy(buf, dir.c_str(), dir.size() + 1);
  call.SetArg2(dir);
  return static_cast<unsigned>(call.Done(static_cast<int64_t>(dir.size())));
}

// ---- Directory listing -------------------------------------------------------------

FindState* FindFirst(const char* pattern, FindData* out) {
  std::string arg = Str(pattern);
  LoggedCall call(Op::kFindFirst, arg);
  size_t slash = arg.find_last_of('\\');
  std::string dirPart = slash == std::string::npos ? std::string(".") : arg.substr(0, slash + 1);
  std::string namePart = slash == std::string::npos ? arg : arg.substr(slash + 1);
  // "C:*.*" lists the drive's current directory.
  if (slash == std::string::npos && arg.size() >= 2 && arg[1] == ':') {
    dirPart = arg.substr(0, 2);
    namePart = arg.substr(2);
  }
  Path dirPath = Resolve(dirPart);
  // Faults match the resolved directory joined with the name pattern.
  std::string subject = dirPath.ok ? dirPath.Full() : dirPart;
  if (!subject.empty() && subject.back() != '\\') subject += '\\';
  subject += namePart;
  if (Strike(Op::kFindFirst, subject) || !out) return call.Done(0), nullptr;
  auto dir = Lookup(dirPath);
  if (namePart.empty() || !dir || !dir->isDir || arg.size() > 259) return call.Done(0), nullptr;

  auto find = std::make_unique<FindState>();
  find->subject = subject;
  find->arg = arg;
  // Root directories have no "." and ".." entries.
  if (!dirPath.parts.empty()) {
    for (const char* dots : {".", ".."}) {
      if (WildMatch(namePart.c_str(), dots)) find->entries.push_back(Entry(dots, plat::kFileAttributeDirectory));
    }
  }
  for (const auto& child : dir->children) {
    if (WildMatch(namePart.c_str(), child->name.c_str())) find->entries.push_back(Entry(child->name, Attributes(*child)));
  }
  if (find->entries.empty()) return call.Done(0), nullptr;
  *out = find->entries[0];
  find->next = 1;
  call.SetArg2(out->name);
  call.Done(1);
  return Track(std::move(find), &S().openFinds);
}

bool FindNext(FindState* find, FindData* out) {
  if (!IsOpen(find)) hl::detail::Misuse("FindNext on a listing that is not open");
  LoggedCall call(Op::kFindNext, find->arg);
  if (Strike(Op::kFindNext, find->subject) || !out || find->next >= find->entries.size()) return call.Done(0);
  *out = find->entries[find->next++];
  call.SetArg2(out->name);
  return call.Done(1);
}

void FindEnd(FindState* find) {
  if (!find) return;
  if (!IsOpen(find)) hl::detail::Misuse("FindEnd on a listing that is not open");
  Log(Op::kFindEnd, find->arg, "", 1);
  Untrack(find);
}

// ---- Reading files ---------------------------------------------------------------------

FileReader* OpenForRead(const char* path) {
  std::string arg = Str(path);
  LoggedCall call(Op::kOpenForRead, arg);
  std::string subject = Subject(arg);
  if (Strike(Op::kOpenForRead, subject)) return call.Done(0), nullptr;
  auto node = Lookup(Resolve(arg));
  if (!node || node->isDir || node->unreadable) return call.Done(0), nullptr;
  auto reader = std::make_unique<FileReader>();
  reader->node = node;
  reader->subject = subject;
  reader->arg = arg;
  ++node->openReaders;
  call.Done(1);
  return Track(std::move(reader), &S().openFiles);
}

int ReadBytes(FileReader* file, void* buf, int size) {
  if (!IsOpen(file)) hl::detail::Misuse("ReadBytes on a file that is not open");
  LoggedCall call(Op::kReadBytes, file->arg, Num(size < 0 ? 0 : static_cast<uint64_t>(size)));
  if (!buf || size < 0) return static_cast<int>(call.Done(-1));
  uint64_t length = file->node->Length();
  uint64_t count = file->pos < length ? std::min<uint64_t>(static_cast<uint64_t>(size), length - file->pos) : 0;
  // A read fault's skip counts reads; its times count the reads that fail.
  if (hl::Fault* fault = hl::detail::Armed(Op::kReadBytes, file->subject, false)) {
    uint64_t limit = fault->value < 0 ? 0 : static_cast<uint64_t>(fault->value);
    if (file->pos >= limit) {
      hl::detail::UseUp(fault);
      return static_cast<int>(call.Done(-1));
    }
    count = std::min(count, limit - file->pos);
  }
  if (file->node->sized) {
    std::memset(buf, 0, static_cast<size_t>(count));
  } else {
    std::memcpy(buf, file->node->content.data() + file->pos, static_cast<size_t>(count));
  }
  file->pos += count;
  return static_cast<int>(call.Done(static_cast<int64_t>(count)));
}

bool GetFileLength(FileReader* file, uint64_t* size) {
  if (!IsOpen(file)) hl::detail::Misuse("GetFileLength on a file that is not open");
  LoggedCall call(Op::kGetFileLength, file->arg);
  if (Strike(Op::kGetFileLength, file->subject) || !size) return call.Done(0);
  *size = file->node->Length();
  call.SetArg2(Num(*size));
  return call.Done(1);
}

FileKind GetFileKind(FileReader* file) {
  if (!IsOpen(file)) hl::detail::Misuse("GetFileKind on a file that is not open");
  LoggedCall call(Op::kGetFileKind, file->arg);
  if (Strike(Op::kGetFileKind, file->subject)) return call.Done(static_cast<int64_t>(FileKind::kUnknown)), FileKind::kUnknown;
  call.Done(static_cast<int64_t>(file->node->kind));
  return file->node->kind;
}

// ---- Full paths ------------------------------------------------------------------------

bool GetFullPath(const char* path, char* out) {
  std::string arg = Str(path);
  LoggedCall call(Op::kGetFullPath, arg);
  if (out) out[0] = '\0';
  if (Strike(Op::kGetFullPath, arg) || !out || arg.empty()) return call.Done(0);
  std::string full;
  if (arg.size() >= 2 && (arg[0] == '\\' || arg[0] == '/') && (arg[1] == '\\' || arg[1] == '/')) {
    // A network path: folded like any other, but never looked up in the model.
    full = arg;
    for (char& c : full) {
      if (c == '/') c = '\\';
    }
  } else {
    Path resolved = Resolve(arg);
    if (!resolved.ok) return call.Done(0);
    full = resolved.Full();
  }
  // Like GetFullPathNameA, trailing blanks and dots of the last name go.
  size_t root = full.size() >= 3 && full[1] == ':' ? 3 : 0;
  while (full.size() > root && (full.back() == ' ' || full.back() == '.')) full.pop_back();
  if (full.size() > 259) return call.Done(0);
  std::memcpy(out, full.c_str(), full.size() + 1);
  call.SetArg2(full);
  return call.Done(1);
}

void CloseFile(FileReader* file) {
  if (!file) return;
  if (!IsOpen(file)) hl::detail::Misuse("CloseFile on a file that is not open");
  Log(Op::kCloseFile, file->arg, "", 1);
  --file->node->openReaders;
  Untrack(file);
}

// ---- Shell ---------------------------------------------------------------------------

bool GetProgramsFolderPath(char* buf) {
  LoggedCall call(Op::kProgramsFolder, "");
  if (buf) buf[0] = '\0';
  const std::string& folder = S().programsFolder;
  if (Strike(Op::kProgramsFolder, "") || !buf || folder.empty() || folder.size() >= kMaxPath) return call.Done(0);
  std::memcpy(buf, folder.c_str(), folder.size() + 1);
  call.SetArg2(folder);
  return call.Done(1);
}

// ---- COM -----------------------------------------------------------------------------

namespace {

ShellLink* CheckedLink(ShellLink* link, const char* what) {
  if (!IsOpen(link)) hl::detail::Misuse(what);
  return link;
}

void ReleaseRef(ShellLink* link) {
  if (--link->refs == 0) Untrack(link);
}

HResult SetField(Op op, ShellLink* link, const char* text, std::string hl::LinkRecord::*field) {
  CheckedLink(link, "a shell-link call on an object that is not alive");
  std::string arg = Str(text);
  LoggedCall call(op, arg);
  if (auto fault = Strike(op, Subject(arg))) return static_cast<HResult>(call.Done(fault->value));
  if (!text) return static_cast<HResult>(call.Done(kEInvalidArg));
  link->record.*field = arg;
  return static_cast<HResult>(call.Done(kSOk));
}

// HRESULT_FROM_WIN32 of the errors a save can meet.
constexpr HResult kEPathNotFound = static_cast<HResult>(0x80070003u);
constexpr HResult kEAccessDenied = static_cast<HResult>(0x80070005u);
constexpr HResult kEDiskFull = static_cast<HResult>(0x80070070u);

}  // namespace

HResult ComInitialize() {
  LoggedCall call(Op::kComInitialize, "");
  ++S().comInitializeCount;
  if (auto fault = Strike(Op::kComInitialize, "")) return static_cast<HResult>(call.Done(fault->value));
  // S_FALSE when the thread has been initialised before.
  return static_cast<HResult>(call.Done(S().comInitializeCount == 1 ? kSOk : 1));
}

HResult CreateShellLink(ShellLink** out) {
  LoggedCall call(Op::kCreateShellLink, "");
  if (!out) return static_cast<HResult>(call.Done(kEInvalidArg));
  *out = nullptr;
  if (auto fault = Strike(Op::kCreateShellLink, "")) return static_cast<HResult>(call.Done(fault->value));
  *out = Track(std::make_unique<ShellLink>(), &S().liveComObjects);
  return static_cast<HResult>(call.Done(kSOk));
}

HResult ShellLinkSetPath(ShellLink* link, const char* path) {
  return SetField(Op::kSetPath, link, path, &hl::LinkRecord::target);
}

HResult ShellLinkSetDescription(ShellLink* link, const char* text) {
  return SetField(Op::kSetDescription, link, text, &hl::LinkRecord::description);
}

HResult ShellLinkSetWorkingDirectory(ShellLink* link, const char* dir) {
  return SetField(Op::kSetWorkingDirectory, link, dir, &hl::LinkRecord::workingDirectory);
}

HResult ShellLinkQueryPersistFile(ShellLink* link, PersistFile** out) {
  CheckedLink(link, "QueryInterface on a shell link that is not alive");
  LoggedCall call(Op::kQueryPersistFile, "");
  if (!out) return static_cast<HResult>(call.Done(kEInvalidArg));
  *out = nullptr;
  if (auto fault = Strike(Op::kQueryPersistFile, "")) return static_cast<HResult>(call.Done(fault->value));
  ++link->refs;
  *out = &link->persist;
  return static_cast<HResult>(call.Done(kSOk));
}

void ShellLinkRelease(ShellLink* link) {
  CheckedLink(link, "Release of a shell link that is not alive");
  Log(Op::kShellLinkRelease, "", "", link->refs - 1);
  ReleaseRef(link);
}

HResult PersistFileSave(PersistFile* file, const char16_t* path, bool remember) {
  // The interface lives inside its link object.
  ShellLink* link = file ? file->link : nullptr;
  if (!file || !IsOpen(link) || &link->persist != file) hl::detail::Misuse("Save on a persist-file that is not alive");
  std::string arg;
  bool narrowable = path != nullptr;
  for (const char16_t* p = path; p && *p; ++p) {
    if (*p > 0xFF) narrowable = false;
    arg += static_cast<char>(*p <= 0xFF ? *p : '?');
  }
  LoggedCall call(Op::kPersistFileSave, arg, link->record.target);
  std::string subject = Subject(arg);
  if (auto fault = Strike(Op::kPersistFileSave, subject)) return static_cast<HResult>(call.Done(fault->value));
  if (!path) return static_cast<HResult>(call.Done(kEInvalidArg));
  Path resolved = Resolve(arg);
  auto dir = ParentDir(resolved);
  if (!narrowable || !dir || resolved.trailingSeparator) return static_cast<HResult>(call.Done(kEPathNotFound));
  auto existing = dir->Child(resolved.parts.back());
  if (existing && (existing->isDir || existing->openReaders > 0)) {
    return static_cast<HResult>(call.Done(kEAccessDenied));
  }
  Node content;
  content.content = hl::detail::EncodeLink(link->record);
  uint64_t available = S().freeBytes + (existing ? existing->Length() : 0);
  if (content.Length() > available) return static_cast<HResult>(call.Done(kEDiskFull));
  if (existing) S().freeBytes += existing->Length();
  WriteFile(*dir, existing, resolved.parts.back(), content, content.Length());
  return static_cast<HResult>(call.Done(kSOk));
}

void PersistFileRelease(PersistFile* file) {
  ShellLink* link = file ? file->link : nullptr;
  if (!file || !IsOpen(link) || &link->persist != file) {
    hl::detail::Misuse("Release of a persist-file that is not alive");
  }
  Log(Op::kPersistFileRelease, "", "", link->refs - 1);
  ReleaseRef(link);
}

int AnsiToWide(const char* src, char16_t* dst, int dstUnits) {
  std::string arg = Str(src);
  LoggedCall call(Op::kAnsiToWide, arg);
  if (Strike(Op::kAnsiToWide, Subject(arg)) || !src || dstUnits < 0) return static_cast<int>(call.Done(0));
  int needed = static_cast<int>(arg.size()) + 1;
  // Like MultiByteToWideChar, a zero-sized buffer asks for the size needed.
  if (dstUnits == 0) return static_cast<int>(call.Done(needed));
  if (!dst || dstUnits < needed) return static_cast<int>(call.Done(0));
  for (int i = 0; i < needed; ++i) dst[i] = static_cast<unsigned char>(src[i]);
  return static_cast<int>(call.Done(needed));
}

// ---- Processes -------------------------------------------------------------------------

int StartProgram(bool wait, const char* program, const char* const* args) {
  std::string name = Str(program);
  if (!name.empty() && name.find_first_of("\\/:") == std::string::npos) name = ".\\" + name;
  std::string commandLine;
  for (const char* const* arg = args; arg && *arg; ++arg) {
    if (arg != args) commandLine += ' ';
    commandLine += *arg;
  }
  LoggedCall call(Op::kStartProgram, name, commandLine);
  if (Strike(Op::kStartProgram, Subject(name)) || name.empty()) return static_cast<int>(call.Done(-1));

  auto isFile = [](const std::string& path) {
    auto node = Lookup(Resolve(path));
    return node && !node->isDir;
  };
  size_t lastSep = name.find_last_of("\\/:");
  bool hasDot = name.find('.', lastSep == std::string::npos ? 0 : lastSep + 1) != std::string::npos;
  bool found = isFile(name);
  // A name without an extension is tried with the executable ones.
  if (!found && !hasDot) {
    for (const char* ext : {".com", ".exe", ".bat", ".cmd"}) found = found || isFile(name + ext);
  }
  if (!found) return static_cast<int>(call.Done(-1));
  S().started.push_back(hl::StartedProgram{name, commandLine, wait});
  return static_cast<int>(call.Done(wait ? S().childExitCode : 0));
}

void PumpPaintMessages() { Log(Op::kPumpPaint, "", "", 0); }

}  // namespace plat

namespace hl::detail {

void FreeOpenObjects() {
  State& s = S();
  auto objects = std::move(s.openObjects);
  s.openObjects.clear();
  for (auto& object : objects) object.second();
  s.openFiles = s.openFinds = s.liveComObjects = 0;
}

}  // namespace hl::detail
