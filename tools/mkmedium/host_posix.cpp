// The Linux host: the medium folder mirrored into the headless model as the
// root of drive D: (see medium_host.h), files written with POSIX calls, the
// image written by xorriso.
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "engine/path_rules.h"
#include "platform/headless/headless.h"
#include "tools/mkmedium/medium_host.h"
#include "tools/mkmedium/medium_util.h"

extern char** environ;

namespace medium {

namespace {

constexpr const char* kRoot = "D:\\";

std::string ReadHostFile(const std::string& path, bool* ok) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  *ok = static_cast<bool>(in) || in.eof();
  return text.str();
}

// Why Windows cannot hold `name` in a folder, or "" when it can.
std::string WhyNotWindowsName(const std::string& name) {
  for (unsigned char c : name) {
    if (c < 0x20 || std::strchr("\\:*?\"<>|", c)) return "it holds a character no Windows name may hold";
  }
  if (name.back() == ' ' || name.back() == '.') return "Windows drops a blank or a dot at the end of a name";
  if (paths::IsReservedDeviceName(name.c_str(), name.size())) return "Windows takes it for a device";
  return "";
}

struct Mirror {
  const OpenOptions& options;
  std::vector<HostNote>* notes;
  std::set<std::pair<dev_t, ino_t>> folders;  // on the way down, against loops through links
  std::string error;

  void Note(const char* code, const std::string& path, const std::string& text) {
    notes->push_back(HostNote{code, path, text});
  }

  bool Folder(const std::string& host, const std::string& rel) {
    DIR* dir = opendir(host.c_str());
    if (!dir) {
      error = "cannot list " + host + ": " + std::strerror(errno);
      return false;
    }
    std::vector<std::string> names;
    while (dirent* d = readdir(dir)) {
      std::string name = d->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());

    std::map<std::string, std::string> seen;  // lowered name -> name
    for (const std::string& name : names) {
      const std::string hostPath = host + "/" + name;
      const std::string relPath = rel + name;
      std::string why = WhyNotWindowsName(name);
      if (!why.empty()) {
        Note("bad-host-name", relPath, Quote(relPath) + " cannot be named on Windows (" + why +
                                           "): INSTALL.EXE never sees it");
        continue;
      }
      auto other = seen.find(Lower(name));
      if (other != seen.end()) {
        Note("case-collision", relPath,
             Quote(rel + other->second) + " and " + Quote(relPath) +
                 " differ only in letter case: Windows sees one file where this folder holds two");
        continue;
      }
      seen[Lower(name)] = name;
      if (std::strlen(kRoot) + relPath.size() > paths::kMaxPathChars) {
        Note("bad-host-name", relPath, Quote(relPath) + " is too deep for a Windows path of 259 characters");
        continue;
      }
      struct stat st;
      if (stat(hostPath.c_str(), &st) != 0) {
        Note("special-file", relPath, Quote(relPath) + " is a link to nothing");
        continue;
      }
      if (S_ISDIR(st.st_mode)) {
        if (!folders.insert({st.st_dev, st.st_ino}).second) {
          Note("special-file", relPath, Quote(relPath) + " links back to a folder that contains it");
          continue;
        }
        hl::AddDir(kRoot + relPath);
        bool ok = Folder(hostPath, relPath + "\\");
        folders.erase({st.st_dev, st.st_ino});
        if (!ok) return false;
      } else if (S_ISREG(st.st_mode)) {
        if (options.contents || (rel.empty() && Lower(name) == "setup.inf")) {
          bool ok = false;
          std::string content = ReadHostFile(hostPath, &ok);
          if (!ok) {
            error = "cannot read " + hostPath;
            return false;
          }
          hl::AddFile(kRoot + relPath, content);
        } else {
          hl::AddSizedFile(kRoot + relPath, static_cast<uint64_t>(st.st_size));
        }
      } else {
        Note("special-file", relPath, Quote(relPath) + " is not a regular file (a device, a pipe or a socket)");
      }
    }
    return true;
  }
};

}  // namespace

bool OpenMedium(const std::string& dir, const OpenOptions& options, std::vector<HostNote>* notes,
                std::string* error) {
  struct stat st;
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *error = dir + " is not a folder";
    return false;
  }
  hl::Reset();
  hl::AddDrive('D');
  hl::SetCurrentDir(kRoot);
  Mirror mirror{options, notes, {{st.st_dev, st.st_ino}}, ""};
  try {
    if (!mirror.Folder(dir, "")) {
      *error = mirror.error;
      return false;
    }
  } catch (const std::exception& e) {
    // The model refuses what it cannot hold; the names are screened above,
    // so this is a folder the tool does not understand, not a crash.
    *error = dir + " cannot be read as a Windows medium (" + e.what() + ")";
    return false;
  }
  hl::ClearCalls();
  return true;
}

std::string MediumRoot() { return kRoot; }

bool WriteWholeFile(const std::string& dir, const std::string& name, const std::string& content, bool replace,
                    std::string* error) {
  const std::string target = dir + "/" + name;
  std::string temp = dir + "/." + name + ".mkmedium-XXXXXX";
  int fd = mkstemp(&temp[0]);
  if (fd < 0) {
    *error = "cannot write in " + dir + ": " + std::strerror(errno);
    return false;
  }
  size_t done = 0;
  while (done < content.size()) {
    ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  bool ok = done == content.size() && fsync(fd) == 0;
  int savedErrno = errno;
  fchmod(fd, 0644);
  if (close(fd) != 0) ok = false;
  if (!ok) {
    unlink(temp.c_str());
    *error = "cannot write " + target + ": " + std::strerror(savedErrno);
    return false;
  }
  if (replace) {
    ok = rename(temp.c_str(), target.c_str()) == 0;
  } else {
    // link() never replaces: a file that appeared meanwhile is kept.
    ok = link(temp.c_str(), target.c_str()) == 0;
  }
  savedErrno = errno;
  unlink(temp.c_str());
  if (!ok) {
    *error = savedErrno == EEXIST ? target + " exists already (--force replaces it)"
                                  : "cannot write " + target + ": " + std::strerror(savedErrno);
  }
  return ok;
}

int RunImageWriter(const std::vector<std::string>& args, std::string* error) {
  std::vector<char*> argv;
  std::string program = "xorriso";
  argv.push_back(&program[0]);
  std::vector<std::string> copies = args;
  for (std::string& a : copies) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  pid_t pid;
  int rc = posix_spawnp(&pid, "xorriso", nullptr, nullptr, argv.data(), environ);
  if (rc != 0) {
    *error = std::string("cannot start xorriso (") + std::strerror(rc) + "); scripts/setup-deps.sh installs it";
    return -1;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      *error = "lost the xorriso process";
      return -1;
    }
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
    *error = "cannot start xorriso; scripts/setup-deps.sh installs it";
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

std::string HostFullPath(const std::string& path) {
  char buf[PATH_MAX];
  if (realpath(path.c_str(), buf)) return buf;
  // Not there yet: its folder made full, its name kept.
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (!realpath(folder.c_str(), buf)) return path;
  return std::string(buf) + (std::strcmp(buf, "/") == 0 ? "" : "/") + name;
}

bool HostIsDir(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool HostIsFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool HostRename(const std::string& from, const std::string& to, std::string* error) {
  if (rename(from.c_str(), to.c_str()) == 0) return true;
  *error = "cannot rename " + from + " to " + to + ": " + std::strerror(errno);
  return false;
}

void HostRemove(const std::string& path) { unlink(path.c_str()); }

std::string HostTempDir() {
  const char* dir = std::getenv("TMPDIR");
  return dir && *dir ? dir : "/tmp";
}

}  // namespace medium
