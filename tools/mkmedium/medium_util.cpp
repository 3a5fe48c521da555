#include "tools/mkmedium/medium_util.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "engine/path_rules.h"
#include "platform/services.h"

namespace medium {

std::string Printable(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string Quote(const std::string& text) { return "'" + Printable(text) + "'"; }

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

// A JSON string. Bytes that are not UTF-8 (names in an ANSI code page) are
// taken as Latin-1, so the document is always valid.
std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    char buf[8];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      // A whole, well-formed UTF-8 sequence passes unchanged.
      size_t len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
      bool ok = len > 0 && i + len <= text.size();
      for (size_t k = 1; ok && k < len; ++k) ok = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
      if (ok) {
        out.append(text, i, len);
        i += len - 1;
      } else {
        std::snprintf(buf, sizeof buf, "\\u%04x", c);
        out += buf;
      }
    }
  }
  return out + "\"";
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
