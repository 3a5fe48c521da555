#include "engine/install_run.h"

#include <cstdio>
#include <cstring>

#include "engine/dir_path.h"
#include "engine/install_state.h"
#include "engine/manifest.h"
#include "engine/shortcut.h"
#include "platform/framework.h"
#include "platform/services.h"
#include "ui/progress_dlg.h"
#include "ui/resource_ids.h"

namespace {

constexpr size_t kMaxPathChars = plat::kMaxPath - 1;  // 259
constexpr const char* kProductName = "Brackenvue";

bool IsDirectory(const char* path) {
  uint32_t attributes = plat::GetFileAttribs(path);
  return attributes != plat::kInvalidFileAttributes && (attributes & plat::kFileAttributeDirectory);
}

// How much of `path` is its root and is never stripped when walking up:
// "C:\" (3), "C:" (2), "\" (1), "\\server\share\" (up to and including the
// backslash after the share), or nothing for a relative path.
size_t RootLength(const char* path) {
  if (path[0] != '\0' && path[1] == ':') return path[2] == '\\' ? 3 : 2;
  if (path[0] == '\\' && path[1] == '\\') {
    const char* server = std::strchr(path + 2, '\\');
    if (!server) return std::strlen(path);
    const char* share = std::strchr(server + 1, '\\');
    return share ? static_cast<size_t>(share - path) + 1 : std::strlen(path);
  }
  return path[0] == '\\' ? 1 : 0;
}

// "%s\%s" (and a suffix) into dst of kMaxPath bytes; false when the result
// would not fit, in which case nothing may be done with dst.
bool ComposePath(char* dst, const char* dir, const char* name, const char* suffix) {
  int n = std::snprintf(dst, plat::kMaxPath, "%s\\%s%s", dir, name, suffix);
  return n >= 0 && static_cast<size_t>(n) <= kMaxPathChars;
}

// Every destination and link path of the manifest must fit before anything is
// copied: stopping half-way would leave a half-done installation behind for a
// problem that was known from the start.
bool CheckPathsFit() {
  const InstallState& st = g_installState;
  char path[plat::kMaxPath];
  for (int32_t i = 0; i < st.fileCount; ++i) {
    if (!ComposePath(path, st.installDir, st.entries[i].fileName, "")) {
      SetErrorText("The installation directory is too long:\n%s\nPlease choose a shorter location.",
                   st.installDir);
      return false;
    }
  }
  for (int32_t i = 0; i < st.fileCount; ++i) {
    if (!ComposePath(path, st.programFolder, st.entries[i].shortcutName, ".lnk")) {
      SetErrorText("The program folder is too long:\n%s\nPlease choose a shorter name.", st.programFolder);
      return false;
    }
  }
  return true;
}

// Whether `name`, joined to a directory, stays inside it. Windows takes "/"
// as a separator too and folds a ".." component into the parent, so a medium
// listing "..\..\Windows\x.dll" or a shortcut "..\Startup\x" would write
// outside the installation directory or the program folder. Because Windows
// also trims trailing dots and spaces in some places, every component made
// only of dots and spaces with two dots or more is refused: none of them is
// a name a medium needs.
bool StaysInside(const char* name) {
  const char* component = name;
  for (const char* p = name;; ++p) {
    if (*p == '\\' || *p == '/' || *p == '\0') {
      int dots = 0;
      bool onlyDotsAndSpaces = true;
      for (const char* c = component; c < p; ++c) {
        if (*c == '.') {
          ++dots;
        } else if (*c != ' ') {
          onlyDotsAndSpaces = false;
        }
      }
      if (onlyDotsAndSpaces && dots >= 2) return false;
      if (*p == '\0') return true;
      component = p + 1;
    }
  }
}

// Twice the total, held at the top instead of wrapping.
uint64_t SpaceNeeded(uint64_t totalBytes) {
  return totalBytes > UINT64_MAX / 2 ? UINT64_MAX : totalBytes * 2;
}

}  // namespace

bool GetFreeDiskSpace(const char* path, uint64_t* freeBytes) {
  if (!path) return false;
  size_t length = std::strlen(path);
  if (length > kMaxPathChars) return false;
  char dir[plat::kMaxPath];
  std::memcpy(dir, path, length + 1);

  // The installation directory does not exist yet as a rule, and the free
  // space query fails on a missing directory: ask the nearest ancestor that
  // exists instead, which lies on the same volume.
  const size_t root = RootLength(dir);
  for (;;) {
    if (IsDirectory(dir)) return plat::GetFreeBytes(dir, freeBytes);

    size_t end = length;
    while (end > root && dir[end - 1] == '\\') --end;  // trailing separators
    while (end > root && dir[end - 1] != '\\') --end;  // the last component
    while (end > root && dir[end - 1] == '\\') --end;  // its separator
    if (end == 0 && root == 0) return false;  // a relative path's first component
    if (end < root) end = root;
    if (end >= length) return false;  // nothing left to strip: the root itself is gone
    dir[end] = '\0';
    length = end;
  }
}

int RunInstall() {
  InstallState& st = g_installState;
  st.errorText[0] = '\0';

  if (!LoadManifest()) {
    if (st.errorText[0] == '\0') SetErrorText("I couldn't read the installation file.");
    return -1;
  }

  // A manifest whose names climb out of their directories is not a medium
  // this installer will use: nothing has been written yet.
  for (int32_t i = 0; i < st.fileCount; ++i) {
    if (!StaysInside(st.entries[i].fileName) || !StaysInside(st.entries[i].shortcutName)) {
      SetErrorText("I couldn't read the installation file.");
      return -1;
    }
  }

  if (!CheckPathsFit()) return 0;

  // With no figure at all the check is skipped: refusing on a number that was
  // never measured would block every installation, and the directory creation
  // below reports the real problem.
  uint64_t freeBytes = 0;
  if (GetFreeDiskSpace(st.installDir, &freeBytes) && freeBytes < SpaceNeeded(st.totalBytes)) {
    SetErrorText("There is not enough space on the destination disk.\nPlease choose another location.");
    return 0;
  }

  if (CreateDirectoryPath(st.installDir) == -1 &&
      plat::GetFileAttribs(st.installDir) == plat::kInvalidFileAttributes) {
    SetErrorText("I couldn't create the program directory:\n%s\n", st.installDir);
    return 0;
  }
  // The program folder counts as there only as a directory: a file of its
  // name would let the run go on, fail every shortcut quietly and end
  // "complete" with no shortcut at all. (A file of the installation
  // directory's name stops the run at the first copy, with its message.)
  if (CreateDirectoryPath(st.programFolder) == -1 && !IsDirectory(st.programFolder)) {
    plat::RemoveDir(st.installDir);  // only goes if this left it empty
    SetErrorText("I couldn't create the shortcut folder.");
    return 0;
  }

  // Lives until the run returns: leaving this scope destroys the window on
  // every exit below. If creation fails the run goes on without a window.
  CProgressDlg progress;
  progress.Create(IDD_PROGRESS_DIALOG);
  progress.ShowWindow(fw::kSwShow);
  const uint32_t rangeEnd = static_cast<uint32_t>(st.fileCount) + static_cast<uint32_t>(st.shortcutCount);
  progress.m_progressBar.SendMessage(fw::kPbmSetRange, 0, fw::MakeLParam(0, rangeEnd & 0xFFFFu));
  progress.m_statusText.SetWindowText("Copying files...");

  char destination[plat::kMaxPath];
  char linkPath[plat::kMaxPath];
  for (int32_t i = 0; i < st.fileCount; ++i) {
    const ManifestEntry& entry = st.entries[i];
    ComposePath(destination, st.installDir, entry.fileName, "");  // checked to fit above
    if (plat::GetFileAttribs(entry.fileName) == plat::kInvalidFileAttributes) {
      SetErrorText("I couldn't find the file '%s.'", entry.fileName);
      return -1;
    }
    plat::CopyResult copied = plat::CopyFileOver(entry.fileName, destination);
    if (copied != plat::CopyResult::kCopied) {
      // A truncated file under the installed name would look installed.
      if (copied == plat::CopyResult::kFailedPartial) plat::DeleteFileAt(destination);
      SetErrorText("I couldn't copy %s to %s.", entry.fileName, destination);
      return 0;
    }
    progress.m_progressBar.SendMessage(fw::kPbmSetPos, static_cast<uintptr_t>(i) + 1, 0);
    plat::PumpPaintMessages();
  }

  progress.m_statusText.SetWindowText("Creating shortcuts...");
  for (int32_t i = 0; i < st.fileCount; ++i) {
    const ManifestEntry& entry = st.entries[i];
    ComposePath(linkPath, st.programFolder, entry.shortcutName, ".lnk");
    ComposePath(destination, st.installDir, entry.fileName, "");
    if (CreateShortcut(destination, linkPath, kProductName) < 0) {
      // A failed link does not stop the run; the last such message stays.
      SetErrorText("I couldn't create the link:\n%s", linkPath);
    }
    progress.m_progressBar.SendMessage(fw::kPbmSetPos,
                                       static_cast<uintptr_t>(st.fileCount) + static_cast<uintptr_t>(i) + 1, 0);
    plat::PumpPaintMessages();
  }
  return 1;
}
