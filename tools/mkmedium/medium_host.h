// The host side of mkmedium: how the medium folder is shown to the engine's
// reader, and the two things the tool writes (setup.inf, an image).
//
// The reader (engine/manifest.cpp) opens "setup.inf" and the listed files
// relative to the current directory through the platform services, and the
// checks list the medium through plat::FindFirst. Each build makes the medium
// folder that current directory in its own way:
//  - Windows console build: the real Win32 services; the folder simply
//    becomes the process's current directory, as a CD-ROM root is for
//    INSTALL.EXE started by autorun.
//  - Linux build: the platform library is the headless model (Windows path
//    rules: letters compared without case, "\" and "/" as separators, the
//    259-character limit). The folder is mirrored into it as the root of drive
//    D: (directories, every file with its real size, setup.inf with its real
//    bytes) and D:\ becomes the current directory. What cannot stand on a
//    Windows medium is not mirrored and is reported instead (see HostNote).
// So both builds run the same reader and the same checks over what Windows
// would see.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace medium {

// Something about the folder that the Windows view of it cannot show.
struct HostNote {
  std::string code;  // "case-collision", "special-file", "bad-host-name"
  std::string path;  // relative to the medium, "\"-separated
  std::string text;  // one sentence for the user
};

struct OpenOptions {
  // Linux build: mirror every file's content, not only setup.inf's (for the
  // rehearsal of a whole installation in the model; small media only).
  bool contents = false;
};

// Makes `dir` the current directory of the reader. false: the folder cannot
// be used at all; *error says why.
bool OpenMedium(const std::string& dir, const OpenOptions& options, std::vector<HostNote>* notes,
                std::string* error);

// How the medium's root is shown in reports ("D:\" in the model, the folder's
// full path on Windows).
std::string MediumRoot();

// Writes `content` as DIR/NAME whole or not at all: through a temporary file
// in DIR that is renamed into place. With replace=false an existing file is
// never touched (the rename itself refuses to replace it). false: *error says
// why; nothing was changed.
bool WriteWholeFile(const std::string& dir, const std::string& name, const std::string& content, bool replace,
                    std::string* error);

// Runs the image writer (xorriso) with `args` (without the program name),
// its output passed through to ours. Returns its exit status; -1 when it
// cannot be started (*error says why).
int RunImageWriter(const std::vector<std::string>& args, std::string* error);

// A file or directory of the host: absolute path of `path` and whether it
// exists as a directory or file. Used for the image's paths.
std::string HostFullPath(const std::string& path);
bool HostIsDir(const std::string& path);
bool HostIsFile(const std::string& path);
// Renames over an existing file; removes `path`. false on failure.
bool HostRename(const std::string& from, const std::string& to, std::string* error);
void HostRemove(const std::string& path);
// A directory for temporary files of the image writer.
std::string HostTempDir();

}  // namespace medium
