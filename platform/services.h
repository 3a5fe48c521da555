// The Windows kernel, shell, COM and process services the installer calls.
//
// This header is the whole boundary between the portable code (engine/, ui/,
// app/) and Windows. It includes no Windows header. Two backends implement it:
// platform/win32 (the real API) and platform/headless (an in-memory model for
// native tests). A program picks one by linking it; there is no run-time switch.
//
// Names deliberately avoid the Windows SDK's A/W macros (CopyFile,
// CreateDirectory, GetFileAttributes, ...): a backend that includes
// <windows.h> would otherwise see these declarations rewritten.
//
// Paths are narrow NUL-terminated strings in the ANSI code page. Relative
// paths are resolved against the process's current directory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat {

constexpr int kMaxPath = 260;  // MAX_PATH, terminator included
constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;
constexpr uint32_t kFileAttributeReadOnly = 0x01u;
constexpr uint32_t kFileAttributeDirectory = 0x10u;

// ---- Files and directories -------------------------------------------------

// GetFileAttributesA. kInvalidFileAttributes when the path is absent or cannot
// be examined; otherwise the attribute bits (kFileAttributeDirectory tells a
// directory from anything else).
uint32_t GetFileAttribs(const char* path);

// CreateDirectoryA(path, no security attributes). true: created. false: not
// created, for any reason (exists already, missing parent, bad name, ...).
bool CreateDir(const char* path);

// RemoveDirectoryA. Only an empty directory goes. true: removed.
bool RemoveDir(const char* path);

// DeleteFileA. true: deleted.
bool DeleteFileAt(const char* path);

enum class CopyResult {
  kCopied,         // dst now holds a complete copy of src
  kFailed,         // dst is as it was before the call (absent, or the earlier file untouched)
  kFailedPartial,  // dst did not exist before the call; it was created and may hold a partial copy
};

// Copies src over dst (CopyFileA with fail-if-exists FALSE: an existing dst is
// overwritten). While a long copy runs, the backend keeps the process's
// windows painted (see PumpPaintMessages); no input is dispatched.
// A dst that existed before the call is replaced only by a complete copy: the
// new content goes to a temporary name beside it (created exclusively, so no
// file of that name is ever overwritten, and short enough to fit wherever dst
// fits) and is renamed over dst at the end; on failure the temporary file is
// removed and dst is left as it was. A dst that is read-only or a directory
// is not replaced: kFailed, nothing written (as CopyFileA answers on Windows).
// On kFailedPartial the caller decides what to do with the new, partial dst.
CopyResult CopyFileOver(const char* src, const char* dst);

// Free bytes available to the caller on the volume that holds `dir`, which
// must be an existing directory (not necessarily the volume root). 64-bit, so
// volumes over 4 GiB read correctly. false: no figure could be had; *freeBytes
// is then left unchanged.
bool GetFreeBytes(const char* dir, uint64_t* freeBytes);

// GetWindowsDirectoryA. Returns the length written (without terminator), or 0
// on failure or when `size` is too small; buf then holds an empty string when
// size > 0.
unsigned GetWindowsDir(char* buf, unsigned size);

// ---- Directory listing (FindFirstFileA / FindNextFileA / FindClose) --------

struct FindData {
  uint32_t attributes;
  char name[kMaxPath];
};
struct FindState;  // opaque, owned by the backend until FindEnd
// nullptr: the listing could not be opened. Otherwise *out holds the first entry.
FindState* FindFirst(const char* pattern, FindData* out);
// false: no further entry (*out unchanged).
bool FindNext(FindState* find, FindData* out);
void FindEnd(FindState* find);  // accepts nullptr

// ---- Reading files (binary mode) --------------------------------------------

struct FileReader;  // opaque, owned by the backend until CloseFile
// nullptr: the file cannot be opened for reading (missing, a directory, no access).
FileReader* OpenForRead(const char* path);
// Reads up to `size` bytes. Returns the count read, 0 at end of file, -1 on error.
int ReadBytes(FileReader* file, void* buf, int size);
// The file's length in bytes, 64-bit. false on failure (*size unchanged).
bool GetFileLength(FileReader* file, uint64_t* size);
void CloseFile(FileReader* file);  // accepts nullptr

// What an open file is. Only kDiskFile is something the installer copies:
// a name can open a character device (COM1 reads forever, NUL reads nothing),
// a pipe, or on some systems a directory, and each of these opens like a file.
enum class FileKind {
  kDiskFile,   // a regular file on a disk (GetFileType FILE_TYPE_DISK, not a directory)
  kDirectory,  // a directory that the system let open for reading
  kDevice,     // a character device: a serial or printer port, the console, NUL
  kPipe,       // a named or anonymous pipe, a socket
  kUnknown,    // the system cannot say
};
FileKind GetFileKind(FileReader* file);

// ---- Full paths --------------------------------------------------------------

// GetFullPathNameA: `path` made absolute against the current directory (and a
// drive-relative "C:x" against that drive's current directory), "." and ".."
// folded, "/" turned into "\". Nothing is looked up on the disk. true: out
// (kMaxPath bytes) holds the full path (259 characters at most). false: the
// call failed or the result would not fit; out then holds "".
bool GetFullPath(const char* path, char* out);

// ---- Shell -----------------------------------------------------------------

// SHGetSpecialFolderLocation(no window, CSIDL_PROGRAMS), SHGetPathFromIDList,
// then the ID list is freed. true: buf (kMaxPath bytes) holds the Programs
// folder without a trailing backslash. false: buf holds an empty string.
bool GetProgramsFolderPath(char* buf);

// ---- COM: the shell-link sequence -------------------------------------------

using HResult = int32_t;  // negative: failure
constexpr HResult kSOk = 0;
constexpr HResult kEFail = static_cast<HResult>(0x80004005u);
constexpr HResult kEOutOfMemory = static_cast<HResult>(0x8007000Eu);
constexpr HResult kEInvalidArg = static_cast<HResult>(0x80070057u);

struct ShellLink;    // an IShellLinkA
struct PersistFile;  // the same object's IPersistFile

HResult ComInitialize();  // CoInitialize(NULL)
// CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA).
// On failure *out is nullptr.
HResult CreateShellLink(ShellLink** out);
HResult ShellLinkSetPath(ShellLink* link, const char* path);
HResult ShellLinkSetDescription(ShellLink* link, const char* text);
HResult ShellLinkSetWorkingDirectory(ShellLink* link, const char* dir);
// QueryInterface(IID_IPersistFile). On failure *out is nullptr.
HResult ShellLinkQueryPersistFile(ShellLink* link, PersistFile** out);
void ShellLinkRelease(ShellLink* link);
HResult PersistFileSave(PersistFile* file, const char16_t* path, bool remember);
void PersistFileRelease(PersistFile* file);

// MultiByteToWideChar(CP_ACP, 0, src, -1, dst, dstUnits). Returns the units
// written including the terminator, 0 on failure (dst then unspecified).
int AnsiToWide(const char* src, char16_t* dst, int dstUnits);

// ---- Processes ---------------------------------------------------------------

// Starts a program. args is a nullptr-terminated list whose args[0] repeats the
// program name. A name without "\", "/" or ":" gets ".\" in front (only the
// current directory is searched); if its last component holds ".", a missing
// file fails the start. The command line is the arguments joined by single
// blanks, unquoted; environment and current directory are inherited.
// wait=false: returns 0 as soon as the process is started.
// wait=true: blocks without dispatching window messages until the child ends
// and returns its exit code.
// -1: nothing was started.
int StartProgram(bool wait, const char* program, const char* const* args);

// ---- Keeping windows painted while the one thread is busy --------------------

// Dispatches pending paint messages of this thread's windows, and nothing
// else: no input, no timers, no posted commands, so a busy handler cannot be
// re-entered. Also shows the system that the thread still reads its queue, so
// its windows are not marked "Not Responding". Cheap enough to call after
// every file; backends may rate-limit it.
void PumpPaintMessages();

}  // namespace plat
