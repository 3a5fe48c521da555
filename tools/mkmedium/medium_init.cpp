#include <algorithm>
#include <set>

#include "engine/path_rules.h"
#include "tools/mkmedium/medium.h"
#include "tools/mkmedium/medium_util.h"

namespace medium {

namespace {

// The reader takes at most 127 characters a read, the CR LF included.
constexpr size_t kLineChars = 127;

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Stem(const std::string& base) {
  size_t dot = base.rfind('.');
  return dot == 0 || dot == std::string::npos ? base : base.substr(0, dot);
}

// Cut to `limit` characters without leaving a blank or a dot at the end,
// which Windows would drop from the link's name.
std::string CutName(std::string name, size_t limit) {
  if (name.size() > limit) name.resize(limit);
  while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
  return name;
}

}  // namespace

bool MakeManifest(const std::vector<HostNote>& notes, std::string* text, std::vector<std::string>* refusals) {
  for (const HostNote& note : notes) refusals->push_back(note.text);

  std::vector<std::string> names;
  for (const FileOnMedium& f : ListMedium()) {
    if (f.isDir || IsMediumOwnFile(f.path)) continue;
    if (!f.collidesWith.empty()) {
      refusals->push_back(Quote(f.path) + " and " + Quote(f.collidesWith) + " differ only in letter case");
      continue;
    }
    paths::NameProblem problem = paths::CheckName(f.path.c_str());
    if (f.path.find(' ') != std::string::npos) {
      refusals->push_back(Quote(f.path) + " holds a space, which would end the file name in setup.inf");
    } else if (problem != paths::NameProblem::kNone) {
      refusals->push_back(Quote(f.path) + ": " + paths::DescribeNameProblem(problem));
    } else if (f.path.size() + 1 + 1 + 2 > kLineChars) {
      refusals->push_back(Quote(f.path) + " is too long for a line of setup.inf (127 characters)");
    } else {
      names.push_back(f.path);
    }
  }
  if (names.empty() && refusals->empty()) refusals->push_back("the folder holds no file to install");
  if (!refusals->empty()) return false;

  // The medium's root first, then each folder; names in order, letter case aside.
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    bool aRoot = a.find('\\') == std::string::npos, bRoot = b.find('\\') == std::string::npos;
    return aRoot != bRoot ? aRoot : NameKey(a) < NameKey(b);
  });

  std::string out = std::to_string(names.size()) + "\r\n";
  std::set<std::string> shortcuts;
  std::string readme;
  for (const std::string& name : names) {
    // Room on the line, and within what the check asks of a link name.
    const size_t limit = std::min(kLineChars - 2 - 1 - name.size(), paths::kMaxPathChars - 1 - 4 - kRoomWanted);
    std::string base = BaseName(name);
    std::string shortcut = CutName(Stem(base), limit);
    if (shortcut.empty() || shortcuts.count(Lower(shortcut))) shortcut = CutName(base, limit);
    for (int n = 2; shortcut.empty() || shortcuts.count(Lower(shortcut)); ++n) {
      std::string suffix = " (" + std::to_string(n) + ")";
      shortcut = CutName(Stem(base), limit > suffix.size() ? limit - suffix.size() : 0) + suffix;
    }
    shortcuts.insert(Lower(shortcut));
    out += name + " " + shortcut + "\r\n";
    // A readme in the root, a text file preferred.
    if (name.find('\\') == std::string::npos && Lower(Stem(name)) == "readme" &&
        (readme.empty() || Lower(name) == "readme.txt")) {
      readme = name;
    }
  }
  if (!readme.empty()) out += ".readme " + readme + "\r\n";
  *text = out;
  return true;
}

}  // namespace medium
