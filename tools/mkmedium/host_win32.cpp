// The Windows host: the medium folder becomes the current directory and the
// real Win32 services read it (see medium_host.h).
#include <windows.h>

#include <cstdlib>

#include "tools/mkmedium/medium_host.h"

namespace medium {

namespace {

std::string LastError() {
  char text[256];
  DWORD code = GetLastError();
  if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                      sizeof text, nullptr)) {
    return "error " + std::to_string(code);
  }
  std::string out = text;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
  return out;
}

}  // namespace

bool OpenMedium(const std::string& dir, const OpenOptions&, std::vector<HostNote>*, std::string* error) {
  DWORD attributes = GetFileAttributesA(dir.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      !SetCurrentDirectoryA(dir.c_str())) {
    *error = dir + " is not a folder";
    return false;
  }
  return true;
}

std::string MediumRoot() {
  char dir[MAX_PATH];
  DWORD n = GetCurrentDirectoryA(sizeof dir, dir);
  if (n == 0 || n >= sizeof dir) return ".";
  return dir;
}

bool WriteWholeFile(const std::string& dir, const std::string& name, const std::string& content, bool replace,
                    std::string* error) {
  const std::string target = dir + "\\" + name;
  char temp[MAX_PATH];
  if (!GetTempFileNameA(dir.c_str(), "mkm", 0, temp)) {
    *error = "cannot write in " + dir + ": " + LastError();
    return false;
  }
  HANDLE file = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool ok = file != INVALID_HANDLE_VALUE;
  DWORD written = 0;
  if (ok) {
    ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
         written == content.size() && FlushFileBuffers(file);
    if (!CloseHandle(file)) ok = false;
  }
  // MoveFileEx without MOVEFILE_REPLACE_EXISTING never replaces.
  if (ok) ok = MoveFileExA(temp, target.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0) != 0;
  if (!ok) {
    DWORD code = GetLastError();
    std::string why = LastError();
    DeleteFileA(temp);
    *error = code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS
                 ? target + " exists already (--force replaces it)"
                 : "cannot write " + target + ": " + why;
  }
  return ok;
}

int RunImageWriter(const std::vector<std::string>&, std::string* error) {
  *error = "images are written by the Linux build of mkmedium (with xorriso)";
  return -1;
}

std::string HostFullPath(const std::string& path) {
  char full[MAX_PATH];
  DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  return n == 0 || n >= sizeof full ? path : std::string(full);
}

bool HostIsDir(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool HostIsFile(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool HostRename(const std::string& from, const std::string& to, std::string* error) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  *error = "cannot rename " + from + " to " + to + ": " + LastError();
  return false;
}

void HostRemove(const std::string& path) { DeleteFileA(path.c_str()); }

std::string HostTempDir() {
  char dir[MAX_PATH];
  DWORD n = GetTempPathA(sizeof dir, dir);
  return n == 0 || n >= sizeof dir ? "." : std::string(dir);
}

}  // namespace medium
