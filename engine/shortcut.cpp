#include "engine/shortcut.h"

#include <cstring>

namespace {

constexpr size_t kMaxPathChars = plat::kMaxPath - 1;  // 259

// COM stays initialised on the installer's one thread until the process
// ends; a second CoInitialize would only add a reference nobody releases.
bool g_comInitialized = false;

bool Fits(const char* path) { return path && std::strlen(path) <= kMaxPathChars; }

}  // namespace

void GetProgramsFolder(char* buf) {
  if (!plat::GetProgramsFolderPath(buf)) buf[0] = '\0';
}

plat::HResult CreateShortcut(const char* target, const char* linkPath, const char* description) {
  // Refused before COM is touched: a path cut to fit would link the wrong
  // file or save the link under the wrong name.
  if (!Fits(target) || !Fits(linkPath) || !description) return plat::kEInvalidArg;

  if (!g_comInitialized) {
    plat::ComInitialize();  // a failure shows in CoCreateInstance's result
    g_comInitialized = true;
  }

  plat::ShellLink* link = nullptr;
  plat::HResult result = plat::CreateShellLink(&link);
  if (result < 0) return result;

  plat::ShellLinkSetPath(link, target);
  plat::ShellLinkSetDescription(link, description);

  // The target's directory: everything before its last backslash, so a file
  // in a drive's root gets "C:" and a bare name is its own working directory.
  char workingDir[plat::kMaxPath];
  std::strcpy(workingDir, target);
  if (char* lastSlash = std::strrchr(workingDir, '\\')) *lastSlash = '\0';
  plat::ShellLinkSetWorkingDirectory(link, workingDir);

  plat::PersistFile* persist = nullptr;
  result = plat::ShellLinkQueryPersistFile(link, &persist);
  if (result >= 0) {
    char16_t widePath[plat::kMaxPath];
    // A failed conversion leaves the buffer undefined; an empty name makes
    // Save fail instead of writing the link somewhere unintended.
    if (plat::AnsiToWide(linkPath, widePath, plat::kMaxPath) == 0) widePath[0] = u'\0';
    widePath[plat::kMaxPath - 1] = u'\0';
    result = plat::PersistFileSave(persist, widePath, true);
    plat::PersistFileRelease(persist);
  }
  plat::ShellLinkRelease(link);
  return result;
}
