// Reading the manifest setup.inf from the current directory into g_installState.
#pragma once

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

// One line of the manifest, cut at its first CR and then at its first LF.
// Returns buf (128 bytes), or nullptr at end of file before any character or
// on a read error.
char* ReadManifestLine(ManifestStream& stream, char* buf);

// 1: the whole manifest was read and every listed file could be opened.
// 0: otherwise (a read error anywhere in the manifest, the directive lines
// included, is a failure); errorText holds "I can't find the installation file '%s'"
// when a listed file could not be opened and is unchanged on every other
// failure. The old table is released first; readmeName and directXFlag keep
// their values unless a directive sets them.
int LoadManifest();
