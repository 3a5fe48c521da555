// Path rules of the headless machine: how a name given to a call becomes a
// drive and a list of names, the way Windows resolves it against the current
// drive and directory.
#include <cctype>
#include <cstring>

#include "platform/headless/headless_internal.h"

namespace hl {
namespace detail {

namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Characters Windows refuses inside a file name.
bool BadNameChar(unsigned char c) { return c < 0x20 || std::strchr("<>:\"|?*", c) != nullptr; }

constexpr size_t kMaxPathChars = 259;

}  // namespace

bool IEquals(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::string LowerName(const std::string& name) {
  std::string key(name);
  for (char& c : key) c = Lower(c);
  return key;
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

std::string Subject(const std::string& raw) {
  Path path = Resolve(raw);
  return path.ok ? path.Full() : raw;
}

}  // namespace detail

std::string ResolvedPath(const std::string& path) {
  detail::Path resolved = detail::Resolve(path);
  return resolved.ok ? resolved.Full() : std::string();
}

}  // namespace hl
