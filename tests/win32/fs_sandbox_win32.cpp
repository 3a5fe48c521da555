// The shared file-system cases on the Win32 backend: the sandbox is a new
// directory under %TEMP%, set up and read with plain Win32 calls.
#include <windows.h>

#include <string>
#include <vector>

#include "tests/shared/fs_sandbox.h"
#include "tests/win32/test_files.h"

namespace fscases {

Side CurrentSide() {
  // Wine's ntdll exports its version; Windows' does not.
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") ? Side::kWine : Side::kWindows;
}

Sandbox::Sandbox() {
  char buf[MAX_PATH];
  saved_.assign(buf, GetCurrentDirectoryA(sizeof buf, buf));
  std::string tmp(buf, GetTempPathA(sizeof buf, buf));
  if (!tmp.empty() && tmp.back() == '\\') tmp.pop_back();
  static int counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = tmp + "\\fs-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    if (!CreateDirectoryA(candidate.c_str(), nullptr)) continue;
    if (!SetCurrentDirectoryA(candidate.c_str())) {
      RemoveDirectoryA(candidate.c_str());
      return;
    }
    // As the current directory reports it, which is what relative names meet.
    dir_.assign(buf, GetCurrentDirectoryA(sizeof buf, buf));
    return;
  }
}

Sandbox::~Sandbox() {
  SetCurrentDirectoryA(saved_.c_str());
  if (!dir_.empty()) testfiles::RemoveTree(dir_);
}

bool Sandbox::PutDir(const std::string& path) const { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool Sandbox::PutFile(const std::string& path, const std::string& content) const {
  return !testfiles::Exists(path) && testfiles::WriteAll(path, content);
}

namespace {

void Collect(const std::string& dir, const std::string& prefix, std::vector<Entry>* out) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    Entry entry;
    entry.path = prefix + name;
    entry.isDir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!entry.isDir) entry.content = testfiles::ReadAll(dir + "\\" + name);
    out->push_back(entry);
    if (entry.isDir) Collect(dir + "\\" + name, entry.path + "\\", out);
  } while (FindNextFileA(find, &data));
  FindClose(find);
}

}  // namespace

std::vector<Entry> Sandbox::Contents() const {
  std::vector<Entry> entries;
  if (!dir_.empty()) Collect(dir_, "", &entries);
  return entries;
}

}  // namespace fscases
