// The one process-wide installation record shared by the install dialog and
// the engine, and the rows of its manifest table.
#pragma once

#include <cstdint>

// One row of the manifest table: 256 bytes.
struct ManifestEntry {
  char fileName[128];      // relative to the medium; also the name inside installDir
  char shortcutName[128];  // base name of the link in programFolder (".lnk" appended); may be empty
};
static_assert(sizeof(ManifestEntry) == 256, "a manifest row is 256 bytes");

struct InstallState {
  char installDir[260];     // written by the Install command before each run
  char programFolder[260];  // written by the Install command before each run
  int32_t fileCount;
  int32_t shortcutCount;
  ManifestEntry* entries;  // fileCount rows (calloc), owned here; released by the next load
  // Sum of the listed files' lengths. 64-bit: a medium over 4 GiB must not wrap.
  uint64_t totalBytes;
  char readmeName[260];  // set by ".readme "; survives later loads
  int32_t directXFlag;   // set by ".directx"; survives later loads
  char errorText[256];   // the message of the last run for the user
};

// Zero at process start, lives as long as the process.
extern InstallState g_installState;

// Formats into errorText; a message longer than the buffer is cut, never
// overflowed.
void SetErrorText(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
