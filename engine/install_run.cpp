#include "engine/install_run.h"

#include <cstdio>
#include <cstring>

#include "engine/dir_path.h"
#include "engine/install_state.h"
#include "engine/manifest.h"
#include "engine/path_rules.h"
#include "engine/shortcut.h"
#include "platform/services.h"
#include "ui/progress_dlg.h"

namespace {

constexpr const char* kProductName = "Brackenvue";

bool IsDirectory(const char* path) {
  uint32_t attributes = plat::GetFileAttribs(path);
  return attributes != plat::kInvalidFileAttributes && (attributes & plat::kFileAttributeDirectory);
}

// "<dir>\<name><suffix>" with every "/" of the name turned into "\": Windows
// takes both, but the shortcut's working directory is cut at the last
// backslash and the folders of a name are made along backslashes.
bool ComposePath(char* dst, const char* dir, const char* name, const char* suffix) {
  if (!paths::Join(dst, dir, name, suffix)) return false;
  for (char* p = dst + std::strlen(dir); *p; ++p) {
    if (*p == '/') *p = '\\';
  }
  return true;
}

// Creates the folders between `dir` and the last component of a composed
// path (an entry "data\levels.dat" needs "<dir>\data"). true: there are none,
// or they are all directories now.
bool CreateFoldersOf(const char* path, const char* dir) {
  const char* last = std::strrchr(path, '\\');
  const size_t dirLength = std::strlen(dir);
  if (!last || static_cast<size_t>(last - path) <= dirLength) return true;
  char folder[paths::kPathBytes];
  const size_t length = static_cast<size_t>(last - path);
  std::memcpy(folder, path, length);
  folder[length] = '\0';
  return CreateDirectoryPath(folder) == 0 || IsDirectory(folder);
}

// "The installation directory is too long:\n%s\n..." with the path shortened
// in its middle, so the instruction after it survives the 255 characters of
// errorText however long the path is.
void SetTooLongText(const char* format, const char* path) {
  // The format's own text with its "%s" taken out, and the terminator.
  const size_t fixed = std::strlen(format) - 2 + 1;
  char shown[sizeof g_installState.errorText];
  paths::ShortenMiddle(path, shown, sizeof shown - fixed);
  SetErrorText(format, shown);
}

// Every destination and link path of the manifest must fit before anything is
// copied: stopping half-way would leave a half-done installation behind for a
// problem that was known from the start.
bool CheckPathsFit() {
  const InstallState& st = g_installState;
  char path[paths::kPathBytes];
  for (int32_t i = 0; i < st.fileCount; ++i) {
    if (!ComposePath(path, st.installDir, st.entries[i].fileName, "")) {
      SetTooLongText("The installation directory is too long:\n%s\nPlease choose a shorter location.", st.installDir);
      return false;
    }
  }
  for (int32_t i = 0; i < st.fileCount; ++i) {
    if (!ComposePath(path, st.programFolder, st.entries[i].shortcutName, ".lnk")) {
      SetTooLongText("The program folder is too long:\n%s\nPlease choose a shorter name.", st.programFolder);
      return false;
    }
  }
  return true;
}

// Twice the total, held at the top instead of wrapping.
uint64_t SpaceNeeded(uint64_t totalBytes) {
  return totalBytes > UINT64_MAX / 2 ? UINT64_MAX : totalBytes * 2;
}

}  // namespace

bool GetFreeDiskSpace(const char* path, uint64_t* freeBytes) {
  if (!path) return false;
  size_t length = std::strlen(path);
  if (length > paths::kMaxPathChars) return false;
  char dir[paths::kPathBytes];
  std::memcpy(dir, path, length + 1);

  // The installation directory does not exist yet as a rule, and the free
  // space query fails on a missing directory: ask the nearest ancestor that
  // exists instead, which lies on the same volume.
  const size_t root = paths::RootLength(dir);
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
    return kInstallUnusableMedium;
  }

  // A relative directory would install beside the medium and leave links
  // whose target and working directory mean nothing once started from the
  // Start menu; "C:/Games" would not be split into folders. From here on the
  // run, its links and the readme's command line use the full path.
  char fullDir[paths::kPathBytes];
  if (!paths::MakeFullDir(st.installDir, fullDir)) {
    SetErrorText("I couldn't create the program directory:\n%s\n", st.installDir);
    return kInstallStopped;
  }
  std::memcpy(st.installDir, fullDir, std::strlen(fullDir) + 1);

  if (!CheckPathsFit()) return kInstallStopped;

  // With no figure at all the check is skipped: refusing on a number that was
  // never measured would block every installation, and the directory creation
  // below reports the real problem.
  uint64_t freeBytes = 0;
  if (GetFreeDiskSpace(st.installDir, &freeBytes) && freeBytes < SpaceNeeded(st.totalBytes)) {
    SetErrorText("There is not enough space on the destination disk.\nPlease choose another location.");
    return kInstallStopped;
  }

  // Only a directory this run makes may be taken away again below: an empty
  // folder the user chose is theirs.
  const bool installDirExisted = plat::GetFileAttribs(st.installDir) != plat::kInvalidFileAttributes;
  if (CreateDirectoryPath(st.installDir) == -1 &&
      plat::GetFileAttribs(st.installDir) == plat::kInvalidFileAttributes) {
    SetErrorText("I couldn't create the program directory:\n%s\n", st.installDir);
    return kInstallStopped;
  }
  // The program folder counts as there only as a directory: a file of its
  // name would let the run go on, fail every shortcut quietly and end
  // "complete" with no shortcut at all. (A file of the installation
  // directory's name stops the run at the first copy, with its message.) An
  // empty path is one the install command could not make: the shell did not
  // name the Programs folder, or the folder text leaves it. A manifest that
  // lists nothing needs no shortcut there and goes on.
  if (st.fileCount > 0 &&
      (st.programFolder[0] == '\0' ||
       (CreateDirectoryPath(st.programFolder) == -1 && !IsDirectory(st.programFolder)))) {
    if (!installDirExisted) plat::RemoveDir(st.installDir);  // only goes if this left it empty
    SetErrorText("I couldn't create the shortcut folder.");
    return kInstallStopped;
  }
  if (st.fileCount == 0 && st.programFolder[0] != '\0') CreateDirectoryPath(st.programFolder);

  // Lives until the run returns: leaving this scope destroys the window on
  // every exit below. If creation fails the run goes on without a window.
  CProgressDlg progress;
  progress.Open();
  progress.SetRange(static_cast<uint32_t>(st.fileCount) + static_cast<uint32_t>(st.shortcutCount));
  progress.SetStatus("Copying files...");

  char destination[paths::kPathBytes];
  char linkPath[paths::kPathBytes];
  for (int32_t i = 0; i < st.fileCount; ++i) {
    const ManifestEntry& entry = st.entries[i];
    ComposePath(destination, st.installDir, entry.fileName, "");  // checked to fit above
    if (plat::GetFileAttribs(entry.fileName) == plat::kInvalidFileAttributes) {
      SetErrorText("I couldn't find the file '%s.'", entry.fileName);
      return kInstallUnusableMedium;
    }
    plat::CopyResult copied = CreateFoldersOf(destination, st.installDir)
                                  ? plat::CopyFileOver(entry.fileName, destination)
                                  : plat::CopyResult::kFailed;
    if (copied != plat::CopyResult::kCopied) {
      // A truncated new file under the installed name would look installed.
      // (An earlier installation's file is never partial: the copy replaces
      // it only when complete.)
      if (copied == plat::CopyResult::kFailedPartial) plat::DeleteFileAt(destination);
      SetErrorText("I couldn't copy %s to %s.", entry.fileName, destination);
      return kInstallStopped;
    }
    progress.SetPosition(static_cast<uint32_t>(i) + 1);
    plat::PumpPaintMessages();
  }

  progress.SetStatus("Creating shortcuts...");
  for (int32_t i = 0; i < st.fileCount; ++i) {
    const ManifestEntry& entry = st.entries[i];
    ComposePath(linkPath, st.programFolder, entry.shortcutName, ".lnk");
    ComposePath(destination, st.installDir, entry.fileName, "");
    // A folder the shortcut's name asks for ("Docs\Manual") that cannot be
    // made shows as the link's own failure.
    if (!CreateFoldersOf(linkPath, st.programFolder) || CreateShortcut(destination, linkPath, kProductName) < 0) {
      // A failed link does not stop the run; the last such message stays.
      SetErrorText("I couldn't create the link:\n%s", linkPath);
    }
    progress.SetPosition(static_cast<uint32_t>(st.fileCount) + static_cast<uint32_t>(i) + 1);
    plat::PumpPaintMessages();
  }
  return kInstallComplete;
}
