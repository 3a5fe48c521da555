// The installer's file-system, shell, COM and process services on the real
// Windows API (the ANSI functions throughout).
#include "platform/win32/win32_api.h"

#include <cstring>
#include <string>

#include "platform/services.h"
#include "platform/win32/progress_rate.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "OLE strings are UTF-16 on Windows");

namespace plat {

namespace {

// Directory listings and open files are handed out as their kernel handles,
// so neither needs an allocation that could fail.
HANDLE ToHandle(const void* p) { return reinterpret_cast<HANDLE>(const_cast<void*>(p)); }

bool IsExistingFile(const char* path) {
  DWORD attrs = GetFileAttributesA(path);
  return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsPathSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }

// Copies the open src into the open (just created or truncated) dst.
bool CopyContent(HANDLE src, HANDLE dst) {
  // One buffer for the whole process: the installer has one thread, and a
  // static array costs nothing in the program file. 64 KiB keeps the paint
  // pump between chunks frequent even on slow media.
  static char buffer[64 * 1024];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(src, buffer, sizeof buffer, &got, nullptr)) return false;
    if (got == 0) return true;
    DWORD put = 0;
    if (!WriteFile(dst, buffer, got, &put, nullptr) || put != got) return false;
    PumpPaintMessages();
  }
}

}  // namespace

// ---- Files and directories -----------------------------------------------------

uint32_t GetFileAttribs(const char* path) { return GetFileAttributesA(path); }

bool CreateDir(const char* path) { return CreateDirectoryA(path, nullptr) != 0; }

bool RemoveDir(const char* path) { return RemoveDirectoryA(path) != 0; }

bool DeleteFileAt(const char* path) { return DeleteFileA(path) != 0; }

namespace {

// The attributes a copy of src gets. Read-only is not carried over, unlike
// CopyFileA: media are read-only as a rule, and an installed file that kept
// the bit would make the next installation over it fail.
DWORD CopiedAttributes(const char* src) {
  const DWORD kCopied = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                        FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  DWORD attrs = GetFileAttributesA(src);
  attrs = attrs == INVALID_FILE_ATTRIBUTES ? 0 : (attrs & kCopied);
  return attrs ? attrs : FILE_ATTRIBUTE_NORMAL;
}

// Copies the content and last-write time of `in` into the new file `out` and
// closes `out`. false: the content could not all be written.
bool FinishCopy(HANDLE in, HANDLE out) {
  FILETIME lastWrite;
  bool haveTime = GetFileTime(in, nullptr, nullptr, &lastWrite) != 0;
  bool ok = CopyContent(in, out);
  if (ok && haveTime) SetFileTime(out, nullptr, nullptr, &lastWrite);
  // Closing flushes what the system still holds; a failure there is a lost write.
  if (!CloseHandle(out)) ok = false;
  return ok;
}

constexpr size_t kMaxPathChars = MAX_PATH - 1;  // the terminator aside

// The length of path's directory part, its last separator included.
size_t DirectoryPartLength(const char* path, size_t length) {
  size_t dir = length;
  while (dir > 0 && !IsPathSeparator(path[dir - 1])) --dir;
  return dir;
}

// Writes the attempt-th temporary name for dst into temp (MAX_PATH bytes);
// false once there are no more names to try. Every name stands in dst's own
// directory and is no longer than MAX_PATH allows, so it fits wherever dst
// fits: "<name>.~inst" first (recognisable should one ever be left behind by
// a power cut), then "<name>.~in1" to "<name>.~in99". Where dst's name leaves
// no room for the tag, the end of the name gives way to it; where the
// directory leaves less room than a tag needs, the names are "~0", "~1",
// to "~z" or, with room for one character only, "0" to "z". A name may be taken
// already, even dst itself: the caller creates each exclusively.
bool TempName(const char* dst, int attempt, char* temp) {
  const size_t length = std::strlen(dst);
  const size_t dirLength = DirectoryPartLength(dst, length);
  if (dirLength >= kMaxPathChars || attempt < 0 || attempt >= 100) return false;
  const size_t room = kMaxPathChars - dirLength;
  const size_t nameLength = length - dirLength;

  std::memcpy(temp, dst, dirLength);
  // Room for the longest tag (".~inst", ".~in99"): the tagged names.
  if (room >= 6) {
    char tag[8] = ".~inst";
    if (attempt > 0) {
      char* digits = tag + 4;
      if (attempt >= 10) *digits++ = static_cast<char>('0' + attempt / 10);
      *digits++ = static_cast<char>('0' + attempt % 10);
      *digits = '\0';
    }
    const size_t tagLength = std::strlen(tag);
    const size_t kept = nameLength + tagLength <= room ? nameLength : room - tagLength;
    std::memcpy(temp + dirLength, dst + dirLength, kept);
    std::memcpy(temp + dirLength + kept, tag, tagLength + 1);
    return true;
  }
  // 36 short names: "~0" to "~z", or "0" to "z" with room for one character.
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  if (attempt >= 36) return false;
  char* out = temp + dirLength;
  if (room >= 2) *out++ = '~';
  out[0] = kDigits[attempt];
  out[1] = '\0';
  return true;
}

// A new file under the first free temporary name for dst, created
// exclusively: no file that stands there already is ever opened, let alone
// overwritten. INVALID_HANDLE_VALUE when no name could be had; temp then
// holds no name of ours.
HANDLE CreateTempBeside(const char* dst, DWORD attrs, char* temp) {
  for (int attempt = 0; TempName(dst, attempt, temp); ++attempt) {
    HANDLE out = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_NEW, attrs, nullptr);
    if (out != INVALID_HANDLE_VALUE) return out;
    const DWORD error = GetLastError();
    // A directory of that name, or a file that is being deleted, answers
    // "access denied" rather than "exists".
    const bool taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
                       (error == ERROR_ACCESS_DENIED && GetFileAttributesA(temp) != INVALID_FILE_ATTRIBUTES);
    if (!taken) break;
  }
  temp[0] = '\0';
  return INVALID_HANDLE_VALUE;
}

}  // namespace

// Our own loop instead of CopyFileA: the progress window must keep painting
// during a long copy, and CopyFileExA's progress routine is never called by
// Wine 8. Like CopyFileA, the copy takes the source's last-write time and
// attributes (read-only excepted).
//
// A file of an earlier installation is never put at risk: the new content goes
// to a temporary name beside it and replaces it only when complete, so a copy
// that fails part-way (a full disk, a medium error) leaves it as it was. Where
// no file stands under the name yet, the copy goes there directly, which
// saves a new name and a rename per file on a fresh installation; a failure
// there leaves a partial file for the caller to remove (kFailedPartial).
//
// Of the ways to read the source's time and attributes,
// GetFileInformationByHandle made the loop a third slower than CopyFileA
// under Wine (it also queries the volume); GetFileAttributesA plus
// GetFileTime cost about what CopyFileA spends.
CopyResult CopyFileOver(const char* src, const char* dst) {
  // No FILE_SHARE_WRITE or FILE_SHARE_DELETE: if dst names the same file as
  // src, writing or replacing it below fails with a sharing violation instead
  // of destroying the only copy.
  HANDLE in = CreateFileA(src, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (in == INVALID_HANDLE_VALUE) return CopyResult::kFailed;
  const DWORD attrs = CopiedAttributes(src);

  HANDLE out = CreateFileA(dst, GENERIC_WRITE, 0, nullptr, CREATE_NEW, attrs, nullptr);
  if (out != INVALID_HANDLE_VALUE) {
    bool ok = FinishCopy(in, out);
    CloseHandle(in);
    return ok ? CopyResult::kCopied : CopyResult::kFailedPartial;
  }
  const DWORD error = GetLastError();
  // Only a regular file that may be written is replaced. Windows refuses to
  // rename over a read-only file; Wine, which keeps the bit as the Unix write
  // permission, renames over it (as root or not: a rename asks only the
  // directory). Asked here, both answer alike, before anything is copied.
  const DWORD existing = GetFileAttributesA(dst);
  if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || existing == INVALID_FILE_ATTRIBUTES ||
      (existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
    CloseHandle(in);
    return CopyResult::kFailed;
  }

  char temp[MAX_PATH];
  out = CreateTempBeside(dst, attrs, temp);
  // The source stays open until dst is replaced: its sharing mode keeps a
  // dst that is the source itself from being replaced.
  bool ok = out != INVALID_HANDLE_VALUE && FinishCopy(in, out) && MoveFileExA(temp, dst, MOVEFILE_REPLACE_EXISTING);
  CloseHandle(in);
  if (ok) return CopyResult::kCopied;
  // Only a name this call created: with none, temp is empty.
  if (temp[0]) DeleteFileA(temp);
  return CopyResult::kFailed;
}

bool GetFreeBytes(const char* dir, uint64_t* freeBytes) {
  // Wine answers for a path that does not exist by walking up to the drive;
  // the callers want to know about that directory only.
  DWORD attrs = GetFileAttributesA(dir);
  if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_DIRECTORY)) return false;
  ULARGE_INTEGER available, total, totalFree;
  if (!GetDiskFreeSpaceExA(dir, &available, &total, &totalFree)) return false;
  *freeBytes = available.QuadPart;
  return true;
}

unsigned GetWindowsDir(char* buf, unsigned size) {
  if (size == 0) return 0;
  UINT n = GetWindowsDirectoryA(buf, size);
  // A result >= size is the size the buffer would have needed.
  if (n == 0 || n >= size) {
    buf[0] = '\0';
    return 0;
  }
  return n;
}

// ---- Directory listing -------------------------------------------------------------

namespace {
void CopyFindData(const WIN32_FIND_DATAA& data, FindData* out) {
  out->attributes = data.dwFileAttributes;
  static_assert(sizeof out->name >= sizeof data.cFileName, "name field too small");
  std::memcpy(out->name, data.cFileName, sizeof data.cFileName);
  out->name[sizeof out->name - 1] = '\0';
}
}  // namespace

FindState* FindFirst(const char* pattern, FindData* out) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(pattern, &data);
  if (find == INVALID_HANDLE_VALUE) return nullptr;
  CopyFindData(data, out);
  return reinterpret_cast<FindState*>(find);
}

bool FindNext(FindState* find, FindData* out) {
  if (!find) return false;
  WIN32_FIND_DATAA data;
  if (!FindNextFileA(ToHandle(find), &data)) return false;
  CopyFindData(data, out);
  return true;
}

void FindEnd(FindState* find) {
  if (find) FindClose(ToHandle(find));
}

// ---- Reading files -------------------------------------------------------------------

FileReader* OpenForRead(const char* path) {
  // Others may read or write the file meanwhile, as with the C library's fopen.
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  return reinterpret_cast<FileReader*>(file);
}

int ReadBytes(FileReader* file, void* buf, int size) {
  if (!file || size < 0) return -1;
  DWORD got = 0;
  if (!ReadFile(ToHandle(file), buf, static_cast<DWORD>(size), &got, nullptr)) return -1;
  return static_cast<int>(got);
}

bool GetFileLength(FileReader* file, uint64_t* size) {
  if (!file) return false;
  LARGE_INTEGER length;
  if (!GetFileSizeEx(ToHandle(file), &length)) return false;
  *size = static_cast<uint64_t>(length.QuadPart);
  return true;
}

void CloseFile(FileReader* file) {
  if (file) CloseHandle(ToHandle(file));
}

namespace {

// The attributes of an open file. GetFileInformationByHandle costs a
// millisecond or two per call under Wine (it also asks for the volume's
// serial number), which a manifest of tens of thousands of entries would pay
// at every load; GetFileInformationByHandleEx (Vista on) reads the
// attributes alone. It is looked up at run time: imported, it would keep the
// installer from starting on older systems.
bool GetOpenFileAttributes(HANDLE handle, DWORD* attributes) {
  struct BasicInfo {  // FILE_BASIC_INFO
    LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime;
    DWORD fileAttributes;
  };
  using InfoExFn = BOOL(WINAPI*)(HANDLE, int, void*, DWORD);
  static InfoExFn infoEx = [] {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    return kernel ? reinterpret_cast<InfoExFn>(
                        reinterpret_cast<void*>(GetProcAddress(kernel, "GetFileInformationByHandleEx")))
                  : nullptr;
  }();
  const int kFileBasicInfo = 0;
  BasicInfo basic;
  if (infoEx && infoEx(handle, kFileBasicInfo, &basic, sizeof basic)) {
    *attributes = basic.fileAttributes;
    return true;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return false;
  *attributes = info.dwFileAttributes;
  return true;
}

}  // namespace

// GetFileType tells disks from character devices and pipes by the driver
// behind the handle; the name says nothing ("NUL.txt" and "COM1.dat" are
// devices too, "\\.\pipe\x" a pipe). A directory is a disk object as well,
// and only its attributes set it apart.
FileKind GetFileKind(FileReader* file) {
  if (!file) return FileKind::kUnknown;
  HANDLE handle = ToHandle(file);
  switch (GetFileType(handle)) {
    case FILE_TYPE_DISK: {
      DWORD attributes = 0;
      if (!GetOpenFileAttributes(handle, &attributes)) return FileKind::kUnknown;
      return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::kDirectory : FileKind::kDiskFile;
    }
    case FILE_TYPE_CHAR:
      return FileKind::kDevice;
    case FILE_TYPE_PIPE:
      return FileKind::kPipe;
    default:
      return FileKind::kUnknown;
  }
}

// ---- Full paths ------------------------------------------------------------------------

bool GetFullPath(const char* path, char* out) {
  out[0] = '\0';
  if (!path || !path[0]) return false;
  // The result's length without the terminator, or, when it does not fit,
  // the size it would need with the terminator (so at least MAX_PATH + 1).
  DWORD length = GetFullPathNameA(path, MAX_PATH, out, nullptr);
  if (length == 0 || length >= MAX_PATH) {
    out[0] = '\0';
    return false;
  }
  return true;
}

// ---- Shell ---------------------------------------------------------------------------

bool GetProgramsFolderPath(char* buf) {
  buf[0] = '\0';
  LPITEMIDLIST list = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_PROGRAMS, &list)) || !list) return false;
  bool ok = SHGetPathFromIDListA(list, buf) != 0;
  CoTaskMemFree(list);
  if (!ok) {
    buf[0] = '\0';
    return false;
  }
  // Callers append "\name". A folder at a drive's root would come back as
  // "X:\"; without the backslash the joined path is still right.
  size_t len = std::strlen(buf);
  if (len > 0 && buf[len - 1] == '\\') buf[len - 1] = '\0';
  return buf[0] != '\0';
}

// ---- COM: the shell-link sequence -------------------------------------------------------

namespace {
// The three identifiers, defined here: the SDK's libuuid holds every IID of
// the SDK in one object, and linking it would add some 40 KB to the program.
const CLSID kClsidShellLink = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kIidShellLinkA = {0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kIidPersistFile = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

IShellLinkA* Link(ShellLink* link) { return reinterpret_cast<IShellLinkA*>(link); }
IPersistFile* Persist(PersistFile* file) { return reinterpret_cast<IPersistFile*>(file); }
}  // namespace

HResult ComInitialize() { return CoInitialize(nullptr); }

HResult CreateShellLink(ShellLink** out) {
  IShellLinkA* link = nullptr;
  HRESULT hr = CoCreateInstance(kClsidShellLink, nullptr, CLSCTX_INPROC_SERVER, kIidShellLinkA,
                                reinterpret_cast<void**>(&link));
  *out = SUCCEEDED(hr) ? reinterpret_cast<ShellLink*>(link) : nullptr;
  return hr;
}

HResult ShellLinkSetPath(ShellLink* link, const char* path) { return Link(link)->SetPath(path); }

HResult ShellLinkSetDescription(ShellLink* link, const char* text) {
  return Link(link)->SetDescription(text);
}

HResult ShellLinkSetWorkingDirectory(ShellLink* link, const char* dir) {
  return Link(link)->SetWorkingDirectory(dir);
}

HResult ShellLinkQueryPersistFile(ShellLink* link, PersistFile** out) {
  IPersistFile* file = nullptr;
  HRESULT hr = Link(link)->QueryInterface(kIidPersistFile, reinterpret_cast<void**>(&file));
  *out = SUCCEEDED(hr) ? reinterpret_cast<PersistFile*>(file) : nullptr;
  return hr;
}

void ShellLinkRelease(ShellLink* link) {
  if (link) Link(link)->Release();
}

HResult PersistFileSave(PersistFile* file, const char16_t* path, bool remember) {
  return Persist(file)->Save(reinterpret_cast<const wchar_t*>(path), remember ? TRUE : FALSE);
}

void PersistFileRelease(PersistFile* file) {
  if (file) Persist(file)->Release();
}

int AnsiToWide(const char* src, char16_t* dst, int dstUnits) {
  return MultiByteToWideChar(CP_ACP, 0, src, -1, reinterpret_cast<wchar_t*>(dst), dstUnits);
}

// ---- Processes ---------------------------------------------------------------------------

int StartProgram(bool wait, const char* program, const char* const* args) {
  if (!program || !*program) return -1;
  std::string name = program;
  if (name.find_first_of("\\/:") == std::string::npos) name = ".\\" + name;

  // CreateProcess takes the application name literally: no search path and no
  // default extension. A name with an extension must exist; one without is
  // tried with the extensions the C library's spawn functions try.
  size_t last = name.size();
  while (last > 0 && !IsPathSeparator(name[last - 1])) --last;
  if (name.find('.', last) != std::string::npos) {
    if (!IsExistingFile(name.c_str())) return -1;
  } else {
    bool found = false;
    for (const char* ext : {".com", ".exe", ".bat", ".cmd"}) {
      if (IsExistingFile((name + ext).c_str())) {
        name += ext;
        found = true;
        break;
      }
    }
    if (!found) return -1;
  }

  // The child sees exactly this line: no quoting, so a path with blanks is
  // split into several arguments by the child's own parsing.
  std::string commandLine;
  for (const char* const* arg = args; arg && *arg; ++arg) {
    if (arg != args) commandLine += ' ';
    commandLine += *arg;
  }
  if (!args || !*args) commandLine = program;

  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  // CreateProcessA may write into the command line: it gets a private copy.
  if (!CreateProcessA(name.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return -1;
  }
  CloseHandle(process.hThread);
  int result = 0;
  if (wait) {
    // A plain wait: no window message of this thread is dispatched meanwhile,
    // so no handler of the waiting dialog can run.
    DWORD exitCode = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.hProcess, &exitCode)) {
      exitCode = static_cast<DWORD>(-1);
    }
    result = static_cast<int>(exitCode);
  }
  CloseHandle(process.hProcess);
  return result;
}

// ---- Paint while busy ---------------------------------------------------------------------

void PumpPaintMessages() {
  // Called after every file and every copied chunk: at most one pass per
  // 50 ms keeps that nearly free, and is still smooth to the eye.
  static DWORD lastPump = 0;
  static bool pumped = false;
  DWORD now = GetTickCount();
  if (pumped && now - lastPump < 50) return;
  pumped = true;
  lastPump = now;
  // Progress positions kept back from drawing (see progress_rate.h) first,
  // so that their repaint is part of this pass.
  fw::FlushProgressBars();
  // Only WM_PAINT is taken from the queue: input, timers and posted commands
  // stay queued for the dialog's own loop once the busy handler returns.
  // WM_PAINT stays pending until the window validates itself; the count
  // bounds the pass should some window procedure not do so.
  MSG msg;
  for (int i = 0; i < 64 && PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); ++i) {
    DispatchMessageA(&msg);
  }
}

}  // namespace plat
