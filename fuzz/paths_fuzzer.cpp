// Fuzz target: directory creation and the install run's path composition with
// arbitrary installation directories, program folders and entry names.
//
// The input is split at line feeds:
//   line 0   options for the machine (see ApplyOptions)
//   line 1   the installation directory
//   line 2   the program folder
//   line 3+  entry lines of setup.inf ("file shortcut"), written with CR LF
// First CreateDirectoryPath runs on each of the two paths by itself, then a
// whole RunInstall on a fresh machine. Invariants: no crash or sanitizer
// report; results only 0/-1 and 1/0/-1; errorText terminated; every
// directory made lies on the path asked for or on the way to an entry's
// destination or link; every file written is an entry's destination inside
// the installation directory holding the whole source, or an entry's link
// inside the program folder; nothing that was there before is removed or
// left partly overwritten; no file, COM object or window is left open.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/dir_path.h"
#include "engine/install_run.h"
#include "engine/install_state.h"
#include "fuzz/fuzz_support.h"
#include "platform/headless/headless.h"

namespace {

using fuzz::ResolvedKey;

std::vector<std::string> SplitLines(const uint8_t* data, size_t size) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') {
      parts.emplace_back();
    } else {
      parts.back() += static_cast<char>(data[i]);
    }
  }
  return parts;
}

// A C string as the engine sees it: text after a NUL is not there.
std::string AsCString(const std::string& s) { return std::string(s.c_str()); }

// Options, one letter each, some followed by a digit:
//   n    the free-space query fails everywhere
//   f<digits>  that many bytes free
//   p<d> the copy after d others stops part-way (one byte written)
//   c<d> the copy after d others fails before writing
//   l<d> the link save after d others fails
//   m<d> the directory creation after d others fails
//   D    a second drive D: exists
//   x    a regular file C:\X stands where a directory may be wanted
//   E    the installation directory exists before the run
void ApplyOptions(const std::string& options, const std::string& installDir) {
  for (size_t i = 0; i < options.size(); ++i) {
    char c = options[i];
    int digit = (i + 1 < options.size() && options[i + 1] >= '0' && options[i + 1] <= '9') ? options[i + 1] - '0' : 0;
    switch (c) {
      case 'n':
        hl::SetFreeBytes(std::nullopt);
        break;
      case 'f': {
        uint64_t value = 0;
        size_t j = i + 1;
        for (; j < options.size() && j < i + 20 && options[j] >= '0' && options[j] <= '9'; ++j) {
          value = value * 10 + static_cast<uint64_t>(options[j] - '0');
        }
        hl::SetFreeBytes(value);
        break;
      }
      case 'p': {
        hl::Fault fault{hl::Op::kCopyFile, "", digit};
        fault.partialBytes = 1;
        hl::InjectFault(fault);
        break;
      }
      case 'c':
        hl::InjectFault({hl::Op::kCopyFile, "", digit});
        break;
      case 'l':
        hl::InjectFault({hl::Op::kPersistFileSave, "", digit});
        break;
      case 'm':
        hl::InjectFault({hl::Op::kCreateDir, "", digit});
        break;
      case 'D':
        hl::AddDrive('D');
        break;
      case 'x':
        try {
          hl::AddFile("C:\\X", "a file in the way");
        } catch (const std::logic_error&) {
        }
        break;
      case 'E':
        try {
          if (!ResolvedKey(installDir).empty()) hl::AddDir(installDir);
        } catch (const std::logic_error&) {
        }
        break;
      default:
        break;
    }
  }
}

// The full paths (case-folded) CreateDirectoryPath may make for `path`: the
// path cut after each of its components (either separator: the model, like
// Windows, takes both).
std::set<std::string> AllowedDirs(const std::string& path) {
  const std::string& p = path;
  std::set<std::string> allowed;
  for (size_t i = 1; i <= p.size(); ++i) {
    if (i == p.size() || p[i] == '\\' || p[i] == '/') {
      std::string key = ResolvedKey(p.substr(0, i));
      if (!key.empty()) allowed.insert(key);
    }
  }
  std::string whole = ResolvedKey(path);
  if (!whole.empty()) allowed.insert(whole);
  return allowed;
}

struct Object {
  bool dir = false;
  uint64_t size = 0;
  std::string content;  // for small files
};

std::map<std::string, Object> Snapshot() {
  std::map<std::string, Object> objects;
  for (const std::string& path : hl::ListAll()) {
    Object o;
    o.dir = hl::IsDir(path);
    if (!o.dir) {
      o.size = hl::FileSize(path);
      if (o.size <= (1u << 20)) o.content = hl::ReadContent(path);
    }
    objects[fuzz::FoldCase(path)] = o;
  }
  return objects;
}

bool SameFile(const Object& a, const Object& b) { return !a.dir && !b.dir && a.size == b.size && a.content == b.content; }

// The prefix that every object inside directory `key` starts with.
std::string Inside(const std::string& key) { return key.empty() || key.back() == '\\' ? key : key + "\\"; }

bool IsDriveComponent(const std::string& component) { return component.size() >= 2 && component[1] == ':'; }

void CheckCreateDirectoryPath(const std::string& path) {
  const std::map<std::string, Object> before = Snapshot();
  const int result = CreateDirectoryPath(path.c_str());
  FUZZ_CHECK(result == 0 || result == -1, "CreateDirectoryPath(\"%s\") gave %d", path.c_str(), result);
  const std::map<std::string, Object> after = Snapshot();
  const std::set<std::string> allowed = AllowedDirs(path);
  for (const auto& [key, object] : after) {
    auto old = before.find(key);
    if (old != before.end()) continue;
    FUZZ_CHECK(object.dir && allowed.count(key), "CreateDirectoryPath(\"%s\") made %s", path.c_str(), key.c_str());
  }
  FUZZ_CHECK(after.size() >= before.size(), "CreateDirectoryPath(\"%s\") removed something", path.c_str());
  if (path.size() > 259) {
    FUZZ_CHECK(result == -1 && after.size() == before.size(), "a path of %zu characters was not refused", path.size());
  }
  // Success means the path is a directory now, unless its last component is
  // a drive component, which is never tested.
  std::string trimmed = path;
  while (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
  const size_t cut = trimmed.find_last_of('\\');
  const std::string last = trimmed.substr(cut == std::string::npos ? 0 : cut + 1);
  if (result == 0 && !last.empty() && !IsDriveComponent(last) && !ResolvedKey(path).empty()) {
    FUZZ_CHECK(hl::IsDir(path), "CreateDirectoryPath(\"%s\") gave 0 but the path is no directory", path.c_str());
  }
}

void CheckRunInstall(const std::vector<std::string>& parts) {
  InstallState& st = g_installState;
  const std::string installDir = AsCString(parts[1]).substr(0, 259);
  const std::string programFolder = AsCString(parts[2]).substr(0, 259);
  std::memcpy(st.installDir, installDir.c_str(), installDir.size() + 1);
  std::memcpy(st.programFolder, programFolder.c_str(), programFolder.size() + 1);

  std::string manifest = std::to_string(parts.size() - 3) + "\r\n";
  fuzz::Medium medium;
  for (size_t i = 3; i < parts.size(); ++i) {
    manifest += parts[i] + "\r\n";
    std::string line = AsCString(parts[i]);
    size_t start = line.find_first_not_of(' ');
    if (start != std::string::npos) medium.Add(line.substr(start, line.find(' ', start) - start));
  }
  try {
    hl::AddFile("C:\\MEDIA\\setup.inf", manifest);
  } catch (const std::logic_error&) {
    // An entry's source made a folder of that name ("C:setup.inf/x", with
    // "/" a separator): no manifest can be put on such a medium.
    return;
  }
  ApplyOptions(parts[0], installDir);

  const std::map<std::string, Object> before = Snapshot();
  std::strcpy(st.errorText, "from the last run");
  const int result = RunInstall();
  const std::map<std::string, Object> after = Snapshot();

  FUZZ_CHECK(result == 1 || result == 0 || result == -1, "RunInstall gave %d", result);
  FUZZ_CHECK(fuzz::Terminated(st.errorText, sizeof st.errorText), "errorText not terminated");
  FUZZ_CHECK(hl::OpenFileCount() == 0, "%d files left open", hl::OpenFileCount());
  FUZZ_CHECK(hl::LiveComObjectCount() == 0, "%d shell links left alive", hl::LiveComObjectCount());
  for (hl::Window* w : hl::AllWindows()) FUZZ_CHECK(w->destroyed, "window %d left open", w->id);

  // The run works in the installation directory made full: an absolute path
  // (a drive's root, a path from a root, a network path), a bare drive, or
  // the empty field as it was. Where that full path lies is the file
  // system's answer, tested on its own (PathRulesTest, and the shared
  // file-system cases against Wine); here every write is judged against it.
  std::string usedDir = st.installDir;
  if (!usedDir.empty() && usedDir != installDir) {
    const bool drive = usedDir.size() >= 2 && usedDir[1] == ':' && (usedDir.size() == 2 || usedDir[2] == '\\');
    const bool network = usedDir.size() >= 2 && usedDir[0] == '\\' && usedDir[1] == '\\';
    FUZZ_CHECK(drive || network, "the run used %s, no full path, for the installation directory %s",
               usedDir.c_str(), installDir.c_str());
  }

  // What the run may have written: the entries' destinations and links, and
  // the folders between their directory and them.
  // The directories the run composes into: "C:" joined with a name lands in
  // the root of C:, not in the drive's current directory.
  const std::string installKey = ResolvedKey(usedDir + "\\");
  const std::string folderKey = ResolvedKey(programFolder + "\\");
  std::map<std::string, std::set<std::string>> copies;  // destination -> sources (names may repeat)
  std::map<std::string, std::set<std::string>> links;  // link -> targets (names may repeat)
  std::set<std::string> allowedDirs = AllowedDirs(usedDir);
  for (const std::string& d : AllowedDirs(programFolder)) allowedDirs.insert(d);
  for (int32_t i = 0; st.entries && i < st.fileCount; ++i) {
    const ManifestEntry& e = st.entries[i];
    std::string destination = usedDir + "\\" + e.fileName;
    for (char& c : destination) c = c == '/' ? '\\' : c;
    std::string key = ResolvedKey(destination);
    if (!key.empty()) copies[key].insert(ResolvedKey(e.fileName));
    std::string linkPath = programFolder + "\\" + e.shortcutName + ".lnk";
    std::string link = ResolvedKey(linkPath);
    if (!link.empty()) links[link].insert(destination);
    for (const std::string* made : {&destination, &linkPath}) {
      const size_t cut = made->find_last_of("\\/");
      if (cut == std::string::npos) continue;
      for (const std::string& d : AllowedDirs(made->substr(0, cut))) allowedDirs.insert(d);
    }
  }

  for (const auto& [key, object] : after) {
    auto old = before.find(key);
    if (old != before.end() && (old->second.dir ? object.dir : SameFile(old->second, object))) continue;
    if (object.dir) {
      FUZZ_CHECK(old == before.end() && allowedDirs.count(key), "the run made the directory %s", key.c_str());
      continue;
    }
    auto copy = copies.find(key);
    auto link = links.find(key);
    if (copy != copies.end()) {
      FUZZ_CHECK(key.compare(0, Inside(installKey).size(), Inside(installKey)) == 0,
                 "the run copied %s outside the installation directory %s", key.c_str(), installKey.c_str());
      bool whole = false;
      for (const std::string& name : copy->second) {
        auto source = before.find(name);
        whole = whole || (source != before.end() && SameFile(source->second, object));
      }
      FUZZ_CHECK(whole, "%s does not hold the whole of its source %s (%llu bytes)", key.c_str(),
                 copy->second.begin()->c_str(), static_cast<unsigned long long>(object.size));
    } else if (link != links.end()) {
      FUZZ_CHECK(key.compare(0, Inside(folderKey).size(), Inside(folderKey)) == 0,
                 "the run wrote the link %s outside the program folder %s", key.c_str(), folderKey.c_str());
      std::optional<hl::LinkRecord> record = hl::ReadLink(key);
      FUZZ_CHECK(record && link->second.count(record->target), "the link %s does not point at an entry's destination",
                 key.c_str());
    } else {
      FUZZ_CHECK(false, "the run wrote %s, which is no entry's destination or link", key.c_str());
    }
  }
  // Nothing that was there before the run goes: not a folder the user made
  // (even an empty one), not an earlier installation's file whose new copy
  // failed.
  for (const auto& [key, object] : before) {
    FUZZ_CHECK(after.count(key), "the run removed %s", key.c_str());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> parts = SplitLines(data, size);
  while (parts.size() < 3) parts.emplace_back();
  // Entry lines beyond a few hundred add time, not paths.
  if (parts.size() > 259) parts.resize(259);

  fuzz::FreshMachine();
  ApplyOptions(parts[0], "");
  CheckCreateDirectoryPath(AsCString(parts[1]).substr(0, 400));
  fuzz::FreshMachine();
  ApplyOptions(parts[0], "");
  CheckCreateDirectoryPath(AsCString(parts[2]).substr(0, 400));

  fuzz::FreshMachine();
  CheckRunInstall(parts);
  return 0;
}
