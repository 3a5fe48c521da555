// Every rule the installer applies to the paths it is given and composes:
// the maximum path, joining with a fit check, the roots of drive and network
// paths, the tidying of the two dialog fields, the names a manifest may list,
// reserved device names, and making a path full. The install run, the install
// dialog, the manifest reader, the fuzzers and the media tool all use these,
// so they can never disagree about a path.
//
// Pure string functions unless a comment says otherwise (only MakeFullDir
// calls the platform). Paths are narrow NUL-terminated strings.
#pragma once

#include <cstddef>

namespace paths {

constexpr size_t kMaxPathChars = 259;  // MAX_PATH less its terminator
constexpr size_t kPathBytes = kMaxPathChars + 1;

// Joins "<dir>\<name><suffix>" into out (kPathBytes). true: it fits in
// kMaxPathChars. false: it would not; out then holds "" and must not be used.
bool Join(char* out, const char* dir, const char* name, const char* suffix = "");

// How much of `path` is its root, never tested, created or stripped:
// "C:\" 3, "C:" 2, "\\server\share\" up to and including the backslash after
// the share (the whole text when that backslash is missing), "\" 1, a
// relative path 0. Only "\" separates here: callers make paths full (which
// turns "/" into "\") before they look for roots.
size_t RootLength(const char* path);

// "\\server\share..." (two leading backslashes).
bool IsUncPath(const char* path);

// A dialog field as the run takes it: trailing blanks removed (Windows drops
// them from a name it creates, so "C:\Games\Bv " would make "Bv" and then
// look for "Bv "), then one trailing backslash removed. Works in place.
void TidyFieldText(char* text);

// Why a name relative to a directory (a manifest file name, a shortcut name,
// the program-folder text) cannot be used under that directory.
enum class NameProblem {
  kNone,
  kAbsolute,    // "\x", "C:x", "C:\x", "\\server\x": not below the directory
  kClimbsOut,   // a component of dots and blanks with two dots or more ("..", ". .")
  kStream,      // a ":" after the first character: an NTFS stream or a bad name
  kDevice,      // a component that is a reserved device name (CON, NUL, COM1, LPT1.txt, ...)
  kBadFolder,   // a folder component that ends in a blank: Windows would create
                // it under another name than it later uses
  kBadChar,     // a character no Windows name may hold: < > " | ? * or a control character
};
// "/" counts as a separator, as Windows takes it. An empty name is kNone (the
// manifest's blank rows fail when their file is opened; an empty shortcut
// name is the ".lnk" link the format allows). The last component of a file
// or shortcut name is not a folder; with wholeIsFolder (the program-folder
// text) it is one too.
NameProblem CheckName(const char* name, bool wholeIsFolder = false);

// A short reason for a problem, in the installer's words ("it names a
// device, not a file"); "" for kNone.
const char* DescribeNameProblem(NameProblem problem);

// A component (of `length` characters) that Windows takes as a device
// whatever directory it stands in: CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9,
// CONIN$, CONOUT$, in any letter case, with or without an extension, and with
// trailing blanks or dots.
bool IsReservedDeviceName(const char* component, size_t length);

// The installation directory as the run uses it, from the tidied field text
// `dir`, into out (kPathBytes): "" stays ""; a bare drive "C:" stays "C:" (the
// joined paths "C:\name" mean its root); anything else is made full with
// plat::GetFullPath, so a relative or "/"-spelled directory names the place
// the file system resolves it to, and every path the run composes, every
// link and the readme's command line use that. A trailing backslash of the
// result (a root such as "C:\") is removed. false: the path cannot be made
// full, is no full path ("\\" alone: no server and share), or does not fit;
// out then holds "".
bool MakeFullDir(const char* dir, char* out);

// Writes `text` into out (outBytes) whole when it fits; otherwise its start
// and its end with "..." between, so that a long path echoed in a message
// keeps both its drive and its last components. Always terminates out.
void ShortenMiddle(const char* text, char* out, size_t outBytes);

}  // namespace paths
