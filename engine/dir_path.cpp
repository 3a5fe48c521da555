#include "engine/dir_path.h"

#include <cstring>

#include "engine/path_rules.h"
#include "platform/services.h"

namespace {

constexpr size_t kMaxPathChars = plat::kMaxPath - 1;  // 259

bool IsDriveComponent(const char* component) { return component[0] != '\0' && component[1] == ':'; }

}  // namespace

int CreateDirectoryPath(const char* path) {
  if (!path) return -1;
  size_t length = std::strlen(path);
  if (length > kMaxPathChars) return -1;

  // The copy is split in place; the prefix can grow one character past the
  // path (the backslash appended after the last component), hence the extra byte.
  char work[plat::kMaxPath];
  char prefix[plat::kMaxPath + 1];
  std::memcpy(work, path, length + 1);

  // A network path's root "\\server\share\" is a root like a drive's: it is
  // never tested or created (it cannot be), only what lies below it.
  const size_t uncRoot = paths::IsUncPath(path) ? paths::RootLength(path) : 0;

  // Components are the runs between backslashes; empty runs (leading,
  // trailing, doubled separators) vanish. A forward slash is an ordinary
  // character.
  char* components[plat::kMaxPath / 2 + 1];
  size_t count = 0;
  for (char* p = work + uncRoot; *p;) {
    if (*p == '\\') {
      *p++ = '\0';
      continue;
    }
    components[count++] = p;
    while (*p && *p != '\\') ++p;
  }

  if (count == 0) {
    // A network root alone: nothing to test or create.
    if (uncRoot > 0) return 0;
    // "" or only backslashes: the path as given is the one object to check.
    if (plat::GetFileAttribs(path) != plat::kInvalidFileAttributes) return 0;
    return plat::CreateDir(path) ? 0 : -1;
  }

  size_t prefixLen = 0;
  if (uncRoot > 0) {
    std::memcpy(prefix, path, uncRoot);
    prefixLen = uncRoot;
    if (prefix[prefixLen - 1] != '\\') prefix[prefixLen++] = '\\';
  } else if (path[0] == '\\') {
    prefix[prefixLen++] = '\\';
  }

  for (size_t i = 0; i < count; ++i) {
    size_t n = std::strlen(components[i]);
    std::memcpy(prefix + prefixLen, components[i], n);
    prefixLen += n;
    prefix[prefixLen] = '\0';

    // "C:" (or "C:dir") is never tested nor created: the drive either
    // exists or the next creation fails on it.
    if (!IsDriveComponent(components[i])) {
      uint32_t attributes = plat::GetFileAttribs(prefix);
      if (attributes == plat::kInvalidFileAttributes) {
        if (!plat::CreateDir(prefix)) return -1;
      } else if (!(attributes & plat::kFileAttributeDirectory)) {
        return -1;  // a file is in the way
      }
    }

    prefix[prefixLen++] = '\\';
    prefix[prefixLen] = '\0';
  }
  return 0;
}
