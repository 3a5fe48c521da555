#include "engine/manifest.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/install_state.h"
#include "engine/path_rules.h"

namespace {

constexpr int kLineBytes = 128;  // 127 characters and the terminator
constexpr size_t kRowBytes = sizeof(ManifestEntry);

// The largest table a 32-bit process could ever hold: its user address space
// is 2 GiB. Checking it here gives every build the same answer for absurd
// counts instead of leaving it to the host's allocator (a 64-bit host would
// happily reserve hundreds of gigabytes).
constexpr uint64_t kMaxTableBytes = 0x7FFFFFFFu;

bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int32_t ParseCountLine(const char* text) {
  const char* p = text;
  while (IsCSpace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = (*p == '-');
    ++p;
  }
  int64_t value = 0;
  const int64_t limit = negative ? int64_t{INT32_MAX} + 1 : int64_t{INT32_MAX};
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (value < limit) value = value * 10 + (*p - '0');
    if (value > limit) value = limit;
  }
  return static_cast<int32_t>(negative ? -value : value);
}

// Only the space separates: a tab belongs to the name.
bool SplitEntryLine(const char* line, ManifestEntry* row) {
  const char* p = line;
  while (*p == ' ') ++p;
  if (*p == '\0') {
    // Blank or empty: the whole line is the file name, so the failing open
    // below names exactly what the manifest said.
    std::strcpy(row->fileName, line);
    return false;
  }
  const char* space = std::strchr(p, ' ');
  if (!space) {
    std::strcpy(row->fileName, p);
    return true;
  }
  size_t nameLen = static_cast<size_t>(space - p);
  std::memcpy(row->fileName, p, nameLen);
  row->fileName[nameLen] = '\0';
  std::strcpy(row->shortcutName, space + 1);
  return true;
}

Directive ClassifyDirective(const char* line) {
  if (std::strncmp(line, ".readme ", 8) == 0) return Directive::kReadme;
  if (std::strncmp(line, ".directx", 8) == 0) return Directive::kDirectX;
  return Directive::kNone;
}

ManifestEncoding DetectEncoding(const char* firstRawLine) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(firstRawLine);
  if (p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) return ManifestEncoding::kUtf8Bom;
  if ((p[0] == 0xFF && p[1] == 0xFE) || (p[0] == 0xFE && p[1] == 0xFF)) return ManifestEncoding::kUtf16;
  return ManifestEncoding::kPlain;
}

bool DescribeBadEntry(const ManifestEntry& row, char* out, size_t outBytes) {
  paths::NameProblem problem = paths::CheckName(row.fileName);
  if (problem != paths::NameProblem::kNone) {
    std::snprintf(out, outBytes, "I can't install '%s' from the installation file: %s.", row.fileName,
                  paths::DescribeNameProblem(problem));
    return true;
  }
  problem = paths::CheckName(row.shortcutName);
  if (problem != paths::NameProblem::kNone) {
    std::snprintf(out, outBytes, "I can't create the shortcut '%s' for '%s' from the installation file: %s.",
                  row.shortcutName, row.fileName, paths::DescribeNameProblem(problem));
    return true;
  }
  return false;
}

namespace {

void HandleDirective(const char* line) {
  switch (ClassifyDirective(line)) {
    case Directive::kReadme:
      std::strcpy(g_installState.readmeName, line + 8);
      break;
    case Directive::kDirectX:
      g_installState.directXFlag = 1;
      break;
    case Directive::kNone:
      break;
  }
}

const char* DescribeKind(plat::FileKind kind) {
  switch (kind) {
    case plat::FileKind::kDevice:
      return "it names a device, not a file";
    case plat::FileKind::kDirectory:
      return "it is a folder, not a file";
    default:
      return "it is not a file on a disk";
  }
}

// How many entries are measured between two paint passes: each one opens a
// file, and tens of thousands of them take seconds.
constexpr int32_t kEntriesPerPaint = 64;

}  // namespace

// ---- ManifestStream -------------------------------------------------------------

ManifestStream::ManifestStream(plat::FileReader* file) : file_(file) {}

ManifestStream::ManifestStream(const char* text, size_t length) : mem_(text), memLen_(length) {}

ManifestStream::~ManifestStream() {
  if (file_) plat::CloseFile(file_);
}

bool ManifestStream::Fill() {
  pos_ = 0;
  len_ = 0;
  if (error_) return false;
  if (!file_) {
    size_t n = memLen_ < sizeof buffer_ ? memLen_ : sizeof buffer_;
    std::memcpy(buffer_, mem_, n);
    mem_ += n;
    memLen_ -= n;
    len_ = n;
    return n > 0;
  }
  int n = plat::ReadBytes(file_, buffer_, static_cast<int>(sizeof buffer_));
  if (n < 0) {
    error_ = true;
    return false;
  }
  len_ = static_cast<size_t>(n);
  return n > 0;
}

char* ManifestStream::ReadRawLine(char* buf) {
  if (error_) return nullptr;
  int count = 0;
  while (count < kLineBytes - 1) {
    if (pos_ == len_ && !Fill()) break;
    char c = buffer_[pos_++];
    buf[count++] = c;
    if (c == '\n') break;
  }
  buf[count] = '\0';
  // Like fgets: a read error spoils the whole line, even a partly read one.
  if (error_ || count == 0) return nullptr;
  return buf;
}

bool ManifestStream::Failed() const { return error_; }

// ---- Reading the manifest ------------------------------------------------------------

char* ReadManifestLine(ManifestStream& stream, char* buf) {
  if (!stream.ReadRawLine(buf)) return nullptr;
  if (char* cr = std::strchr(buf, '\r')) *cr = '\0';
  if (char* lf = std::strchr(buf, '\n')) *lf = '\0';
  return buf;
}

int LoadManifest() {
  InstallState& st = g_installState;
  std::free(st.entries);
  st.entries = nullptr;
  st.shortcutCount = 0;
  st.fileCount = 0;
  st.totalBytes = 0;

  plat::FileReader* file = plat::OpenForRead("setup.inf");
  if (!file) return 0;
  ManifestStream stream(file);  // closes the manifest on every return below

  char line[kLineBytes];
  if (!stream.ReadRawLine(line)) return 0;
  // Editors add a UTF-8 byte-order mark; read as text it would hide the
  // count (0) and the run would "complete" with nothing installed. UTF-16
  // cannot be read with narrow names at all.
  const char* countText = line;
  switch (DetectEncoding(line)) {
    case ManifestEncoding::kUtf16:
      return 0;
    case ManifestEncoding::kUtf8Bom:
      countText += 3;
      break;
    case ManifestEncoding::kPlain:
      break;
  }
  const int32_t count = ParseCountLine(countText);
  if (count < 0) return 0;

  // The product is computed in 64 bits: on the 32-bit target count x 256
  // would wrap in size_t and allocate a short table.
  uint64_t tableBytes = static_cast<uint64_t>(count) * kRowBytes;
  if (tableBytes > kMaxTableBytes) return 0;
  // calloc, not new: a failed allocation comes back as nullptr instead of an
  // exception, and the rows arrive zeroed. A count of 0 still gets a (one-row)
  // block, so that a loaded empty manifest is told from a failed load.
  st.entries = static_cast<ManifestEntry*>(
      std::calloc(count > 0 ? static_cast<size_t>(count) : 1, kRowBytes));
  if (!st.entries) return 0;
  st.fileCount = count;  // set only with its table, so the two never disagree

  for (int32_t i = 0; i < st.fileCount; ++i) {
    if (!ReadManifestLine(stream, line)) return 0;
    ManifestEntry& row = st.entries[i];
    if (SplitEntryLine(line, &row)) ++st.shortcutCount;

    // Refused before anything is opened under the name: opening "COM1" can
    // block for good, and a name that climbs out would be written outside
    // the installation directory.
    if (DescribeBadEntry(row, st.errorText, sizeof st.errorText)) return 0;

    plat::FileReader* entryFile = plat::OpenForRead(row.fileName);
    uint64_t length = 0;
    bool measured = entryFile && plat::GetFileLength(entryFile, &length);
    // The spelling rules above cannot see a device or pipe that a medium
    // reaches by another name (a link on the disk, say): what was opened is
    // asked instead. Nothing has been read from it.
    const plat::FileKind kind = measured ? plat::GetFileKind(entryFile) : plat::FileKind::kDiskFile;
    if (entryFile) plat::CloseFile(entryFile);  // closed at once: a big medium must not run out of handles
    if (!measured) {
      SetErrorText("I can't find the installation file '%s'", row.fileName);
      return 0;
    }
    if (kind != plat::FileKind::kDiskFile) {
      SetErrorText("I can't install '%s' from the installation file: %s.", row.fileName, DescribeKind(kind));
      return 0;
    }
    if (i % kEntriesPerPaint == kEntriesPerPaint - 1) plat::PumpPaintMessages();
    // Held at the top instead of wrapping: a sum that wrapped would let an
    // impossible medium pass the space check.
    st.totalBytes = (length > UINT64_MAX - st.totalBytes) ? UINT64_MAX : st.totalBytes + length;
  }

  while (ReadManifestLine(stream, line)) HandleDirective(line);
  // A read error among the directives would silently drop a ".readme " or
  // ".directx" line; it fails the load like any other unreadable manifest.
  if (stream.Failed()) return 0;
  return 1;
}
