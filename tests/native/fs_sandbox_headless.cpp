// The shared file-system cases on the headless model: the sandbox is a
// directory of the in-memory file system, set up through hl::.
#include <string>
#include <vector>

#include "platform/headless/headless.h"
#include "tests/shared/fs_sandbox.h"

namespace fscases {

namespace {

// Set-up goes through hl::, which makes missing parents itself: refuse that,
// as the Windows side cannot do it.
bool ParentIsADirectory(const std::string& path) { return hl::IsDir(path.substr(0, path.find_last_of('\\'))); }

}  // namespace

Side CurrentSide() { return Side::kModel; }

Sandbox::Sandbox() : dir_("C:\\Temp\\fs-1"), saved_(hl::CurrentDir()) {
  hl::AddDir(dir_);
  hl::SetCurrentDir(dir_);
}

// The test main resets the machine before the next test.
Sandbox::~Sandbox() = default;

bool Sandbox::PutDir(const std::string& path) const {
  if (hl::Exists(path) || !ParentIsADirectory(path)) return false;
  hl::AddDir(path);
  return true;
}

bool Sandbox::PutFile(const std::string& path, const std::string& content) const {
  if (hl::Exists(path) || !ParentIsADirectory(path)) return false;
  hl::AddFile(path, content);
  return true;
}

std::vector<Entry> Sandbox::Contents() const {
  std::vector<Entry> entries;
  const std::string prefix = dir_ + "\\";
  for (const std::string& path : hl::ListAll()) {
    if (path.compare(0, prefix.size(), prefix) != 0) continue;
    Entry entry;
    entry.path = path.substr(prefix.size());
    entry.isDir = hl::IsDir(path);
    if (!entry.isDir) entry.content = hl::ReadContent(path);
    entries.push_back(entry);
  }
  return entries;
}

}  // namespace fscases
