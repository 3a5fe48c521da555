// Reading the manifest setup.inf from the current directory into g_installState.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/install_state.h"
#include "platform/services.h"

// A manifest opened for line reads: a buffered reader over a platform file,
// or over text in memory (tests feed text directly). Lines are read like the
// C library's fgets in binary mode.
class ManifestStream {
 public:
  // Takes ownership of `file` (closed by the destructor).
  explicit ManifestStream(plat::FileReader* file);
  // Reads `text` of `length` bytes; the text must outlive the stream.
  ManifestStream(const char* text, size_t length);
  ~ManifestStream();
  ManifestStream(const ManifestStream&) = delete;
  ManifestStream& operator=(const ManifestStream&) = delete;

  // Reads up to and including the next LF, at most 127 characters, into buf
  // (128 bytes) and terminates it. nullptr: end of file before any character,
  // or a read error.
  char* ReadRawLine(char* buf);
  // true once a read has failed; every later read returns nullptr.
  bool Failed() const;

 private:
  bool Fill();
  plat::FileReader* file_ = nullptr;
  const char* mem_ = nullptr;
  size_t memLen_ = 0;
  char buffer_[4096];
  size_t pos_ = 0, len_ = 0;
  bool error_ = false;
};

// ---- The reader's pieces, one line at a time --------------------------------------
// Exposed so that a tool checking a medium applies exactly these rules.

// The count line's value: leading white space, one optional sign, decimal
// digits up to the first other character (strtol on a 32-bit long: held at
// the nearest end of the range); no digits give 0.
int32_t ParseCountLine(const char* line);

// Splits a cut entry line into row (whose fields must be zeroed). true: the
// line held a file name (it counts towards the shortcuts). A line of only
// blanks, or an empty one, gives that whole line as the file name and false.
bool SplitEntryLine(const char* line, ManifestEntry* row);

enum class Directive { kNone, kReadme, kDirectX };
// ".readme " (with its blank; the name follows) or ".directx" at the start of
// a cut line, exact and case-sensitive.
Directive ClassifyDirective(const char* line);

enum class ManifestEncoding {
  kPlain,    // ANSI text: read as it is
  kUtf8Bom,  // starts with the UTF-8 byte-order mark EF BB BF, which is skipped
  kUtf16,    // starts with a UTF-16 byte-order mark: not a manifest this reader can read
};
// Looks at the first raw line of the manifest (before any cut).
ManifestEncoding DetectEncoding(const char* firstRawLine);

// The message for an entry that cannot be installed, written into out
// (outBytes), or false when the entry is fine: a file name or shortcut name
// that does not stay inside its folder or names a device (paths::CheckName).
bool DescribeBadEntry(const ManifestEntry& row, char* out, size_t outBytes);

// One line of the manifest, cut at its first CR and then at its first LF.
// Returns buf (128 bytes), or nullptr at end of file before any character or
// on a read error.
char* ReadManifestLine(ManifestStream& stream, char* buf);

// 1: the whole manifest was read and every listed file could be opened.
// 0: otherwise (a read error anywhere in the manifest, the directive lines
// included, is a failure). errorText then holds
//   "I can't find the installation file '%s'" when a listed file could not be
//     opened or measured;
//   a message naming the entry and why (DescribeBadEntry) when a file name or
//     shortcut name does not stay inside its folder or names a device: such a
//     name is refused before anything is opened under it;
//   a message naming the entry when what it opens is not a file on a disk (a
//     device, a pipe, a directory);
// and is unchanged on every other failure (no manifest, no count line, a
// UTF-16 manifest, a negative or impossible count, too few entry lines).
// A UTF-8 byte-order mark at the start is skipped. The old table is released
// first; readmeName and directXFlag keep their values unless a directive sets
// them. Keeps the windows painted while it measures a long list of files.
int LoadManifest();
