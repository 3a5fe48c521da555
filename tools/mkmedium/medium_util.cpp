#include "tools/mkmedium/medium_util.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "engine/path_rules.h"
#include "platform/services.h"

namespace medium {

std::string Quote(const std::string& text) { return "'" + text + "'"; }

std::string Lower(const std::string& text) {
  std::string out = text;
  for (char& ch : out) {
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  }
  return out;
}

std::string NameKey(const std::string& name) {
  std::string key = Lower(name);
  std::replace(key.begin(), key.end(), '/', '\\');
  return key;
}

void CopyField(char* out, const std::string& text) {
  size_t n = std::min(text.size(), paths::kMaxPathChars);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

bool IsMediumOwnFile(const std::string& path) {
  if (path.find('\\') != std::string::npos) return false;
  std::string key = Lower(path);
  return key == "install.exe" || key == "setup.inf" || key == "directx.exe" || key == "autorun.inf";
}

namespace {

void ListFolder(const std::string& prefix, int depth, std::vector<FileOnMedium>* out) {
  // Folders nested deeper than any Windows path can reach would only be a
  // loop through links.
  if (depth > 130) return;
  plat::FindData data;
  plat::FindState* find = plat::FindFirst((prefix + "*.*").c_str(), &data);
  if (!find) return;
  std::vector<FileOnMedium> here;
  std::map<std::string, size_t> byKey;
  do {
    std::string name = data.name;
    if (name == "." || name == "..") continue;
    FileOnMedium f;
    f.path = prefix + name;
    f.isDir = (data.attributes & plat::kFileAttributeDirectory) != 0;
    auto known = byKey.find(Lower(name));
    if (known != byKey.end()) {
      f.collidesWith = here[known->second].path;
    } else {
      byKey[Lower(name)] = here.size();
    }
    here.push_back(f);
  } while (plat::FindNext(find, &data));
  plat::FindEnd(find);
  for (const FileOnMedium& f : here) {
    out->push_back(f);
    if (f.isDir && f.collidesWith.empty()) ListFolder(f.path + "\\", depth + 1, out);
  }
}

}  // namespace

std::vector<FileOnMedium> ListMedium() {
  std::vector<FileOnMedium> out;
  ListFolder("", 0, &out);
  return out;
}

}  // namespace medium
