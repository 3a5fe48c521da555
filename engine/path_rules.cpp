#include "engine/path_rules.h"

#include <cstdio>
#include <cstring>

#include "platform/services.h"

namespace paths {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Characters no Windows name holds. ":" is left to the callers, which tell a
// drive from a stream by where it stands.
bool IsForbiddenChar(unsigned char c) { return c < 0x20 || std::strchr("<>\"|?*", c) != nullptr; }

bool EqualsUpper(const char* text, size_t length, const char* upper) {
  if (std::strlen(upper) != length) return false;
  for (size_t i = 0; i < length; ++i) {
    if (Upper(text[i]) != upper[i]) return false;
  }
  return true;
}

// A component made only of dots and blanks with two dots or more: ".." itself,
// and the spellings Windows folds into it when it trims trailing dots and
// blanks ("...", ". .").
bool ClimbsOut(const char* component, size_t length) {
  int dots = 0;
  for (size_t i = 0; i < length; ++i) {
    if (component[i] == '.') {
      ++dots;
    } else if (component[i] != ' ') {
      return false;
    }
  }
  return dots >= 2;
}

// "X:\..." or "\\server\share...": what a full path must start with. The
// system's answer for text such as "\\" alone is neither, and joined with a
// name it would read as a network path.
bool IsFullPath(const char* path) {
  if (IsLetter(path[0]) && path[1] == ':' && path[2] == '\\') return true;
  if (path[0] != '\\' || path[1] != '\\' || path[2] == '\0' || path[2] == '\\') return false;
  const char* share = std::strchr(path + 2, '\\');
  return share && share[1] != '\0' && share[1] != '\\';
}

}  // namespace

bool Join(char* out, const char* dir, const char* name, const char* suffix) {
  int n = std::snprintf(out, kPathBytes, "%s\\%s%s", dir, name, suffix);
  if (n < 0 || static_cast<size_t>(n) > kMaxPathChars) {
    out[0] = '\0';
    return false;
  }
  return true;
}

bool IsUncPath(const char* path) { return path[0] == '\\' && path[1] == '\\'; }

size_t RootLength(const char* path) {
  if (path[0] != '\0' && path[1] == ':') return path[2] == '\\' ? 3 : 2;
  if (IsUncPath(path)) {
    const char* server = std::strchr(path + 2, '\\');
    if (!server) return std::strlen(path);
    const char* share = std::strchr(server + 1, '\\');
    return share ? static_cast<size_t>(share - path) + 1 : std::strlen(path);
  }
  return path[0] == '\\' ? 1 : 0;
}

void TidyFieldText(char* text) {
  size_t length = std::strlen(text);
  while (length > 0 && text[length - 1] == ' ') --length;
  if (length > 0 && text[length - 1] == '\\') --length;
  text[length] = '\0';
}

bool IsReservedDeviceName(const char* component, size_t length) {
  // Windows looks at the part before the first dot, with trailing blanks and
  // dots of the whole name and blanks before the dot ignored: "nul", "NUL.txt",
  // "Com1 .log" and "con." all name devices.
  size_t base = 0;
  while (base < length && component[base] != '.') ++base;
  while (base > 0 && component[base - 1] == ' ') --base;
  static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* name : kNames) {
    if (EqualsUpper(component, base, name)) return true;
  }
  if (base == 4 && (EqualsUpper(component, 3, "COM") || EqualsUpper(component, 3, "LPT"))) {
    // COM0-COM9 and LPT0-LPT9, and the superscript digits of the Latin-1 code
    // page that Windows also accepts there.
    unsigned char digit = static_cast<unsigned char>(component[3]);
    return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
  }
  return false;
}

NameProblem CheckName(const char* name, bool wholeIsFolder) {
  if (name[0] == '\0') return NameProblem::kNone;
  if (IsSeparator(name[0])) return NameProblem::kAbsolute;
  if (name[1] == ':') return IsLetter(name[0]) ? NameProblem::kAbsolute : NameProblem::kStream;

  const char* component = name;
  for (const char* p = name;; ++p) {
    if (*p != '\0' && !IsSeparator(*p)) continue;
    const size_t length = static_cast<size_t>(p - component);
    const bool last = (*p == '\0');
    const bool isFolder = !last || wholeIsFolder;
    if (ClimbsOut(component, length)) return NameProblem::kClimbsOut;
    for (size_t i = 0; i < length; ++i) {
      if (component[i] == ':') return NameProblem::kStream;
      if (IsForbiddenChar(static_cast<unsigned char>(component[i]))) return NameProblem::kBadChar;
    }
    if (IsReservedDeviceName(component, length)) return NameProblem::kDevice;
    // Windows drops a trailing blank only from the last name of a path: a
    // folder "Docs " is created as "Docs" and then never found again as
    // "Docs \Manual.lnk". (A trailing dot goes from every name, so "sub." is
    // "sub" both when it is made and when it is used.)
    if (isFolder && length > 0 && component[length - 1] == ' ') return NameProblem::kBadFolder;
    if (last) return NameProblem::kNone;
    component = p + 1;
  }
}

const char* DescribeNameProblem(NameProblem problem) {
  switch (problem) {
    case NameProblem::kNone:
      return "";
    case NameProblem::kAbsolute:
      return "it must be a name inside its folder, not a drive or root path";
    case NameProblem::kClimbsOut:
      return "it climbs out of its folder";
    case NameProblem::kStream:
      return "it holds a colon";
    case NameProblem::kDevice:
      return "it names a device, not a file";
    case NameProblem::kBadFolder:
      return "a folder name in it ends in a blank";
    case NameProblem::kBadChar:
      return "it holds a character Windows does not allow in names";
  }
  return "";
}

bool MakeFullDir(const char* dir, char* out) {
  out[0] = '\0';
  if (dir[0] == '\0') return true;
  // GetFullPathNameA would turn "C:" into the drive's current directory; the
  // field "C:" (or "C:\" before its backslash was cut) means the root.
  if (IsLetter(dir[0]) && dir[1] == ':' && dir[2] == '\0') {
    std::memcpy(out, dir, 3);
    return true;
  }
  if (!plat::GetFullPath(dir, out) || !IsFullPath(out)) {
    out[0] = '\0';
    return false;
  }
  size_t length = std::strlen(out);
  if (length > 0 && out[length - 1] == '\\') out[length - 1] = '\0';
  return true;
}

void ShortenMiddle(const char* text, char* out, size_t outBytes) {
  if (outBytes == 0) return;
  const size_t length = std::strlen(text);
  const size_t room = outBytes - 1;
  if (length <= room) {
    std::memcpy(out, text, length + 1);
    return;
  }
  static const char kGap[] = "...";
  const size_t gap = sizeof kGap - 1;
  if (room <= gap) {
    std::memcpy(out, kGap, room);
    out[room] = '\0';
    return;
  }
  // A third for the start (the drive and the first folders), the rest for the
  // end, which names the folder the user typed last.
  const size_t head = (room - gap) / 3;
  const size_t tail = room - gap - head;
  std::memcpy(out, text, head);
  std::memcpy(out + head, kGap, gap);
  std::memcpy(out + head + gap, text + length - tail, tail + 1);
}

}  // namespace paths
