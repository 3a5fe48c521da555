// Fuzz target: the whole manifest load. The input is the bytes of setup.inf.
//
// Every name the input's lines would give as a file name is put on the medium
// (see fuzz_support.h for the markers that make a file missing, unreadable or
// huge), then LoadManifest runs on the headless machine and its outcome is
// compared with a plain reading of the same bytes through the C library's
// fgets, which is how the manifest is meant to be read (with the byte-order
// marks and the refused names the reader knows). Besides crashes and
// sanitizer reports this catches any disagreement in the rows, counts, total,
// directives and message, and a file left open on any path.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/install_state.h"
#include "engine/manifest.h"
#include "fuzz/fuzz_support.h"
#include "platform/headless/headless.h"

namespace {

constexpr char kSentinelError[] = "error text from before the load";
constexpr char kSentinelReadme[] = "readme from an earlier load";
constexpr long long kMaxFuzzedRows = 262144;  // a table of 64 MiB

// The manifest's lines as fgets in binary mode hands them out: up to and
// including LF, at most 127 characters each.
std::vector<std::string> RawLines(const uint8_t* data, size_t size) {
  std::vector<std::string> lines;
  if (size == 0) return lines;
  FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!f) std::abort();
  char buf[128];
  while (std::fgets(buf, sizeof buf, f)) lines.emplace_back(buf);  // a NUL ends the text, as in C
  std::fclose(f);
  return lines;
}

std::string Cut(std::string line) {
  size_t cr = line.find('\r');
  if (cr != std::string::npos) line.resize(cr);
  size_t lf = line.find('\n');
  if (lf != std::string::npos) line.resize(lf);
  return line;
}

struct Expected {
  int result = 0;
  std::string errorText = kSentinelError;
  int32_t fileCount = 0, shortcutCount = 0;
  std::vector<ManifestEntry> rows;
  uint64_t totalBytes = 0;
  std::string readme = kSentinelReadme;
  int32_t directX = 0;
};

// The load as it is meant to be: see the comments at each step.
Expected Reference(const std::vector<std::string>& lines, const fuzz::Medium& medium) {
  Expected e;
  uint64_t manifestLength = 0;
  if (!medium.Openable("setup.inf", &manifestLength)) return e;  // a name made it unreadable
  if (lines.empty()) return e;  // no count line
  // A UTF-16 manifest is refused; a UTF-8 byte-order mark is skipped.
  const std::string& first = lines[0];
  if (first.compare(0, 2, "\xFF\xFE") == 0 || first.compare(0, 2, "\xFE\xFF") == 0) return e;
  const size_t mark = first.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  long long count = std::strtoll(first.c_str() + mark, nullptr, 10);
  if (count > INT32_MAX) count = INT32_MAX;
  if (count < INT32_MIN) count = INT32_MIN;
  if (count < 0) return e;
  // A table over 2 GiB can never be had by a 32-bit process.
  if (static_cast<uint64_t>(count) * sizeof(ManifestEntry) > 0x7FFFFFFFu) return e;
  size_t next = 1;
  for (long long i = 0; i < count; ++i) {
    if (next >= lines.size()) return e;  // the file ends early
    std::string line = Cut(lines[next++]);
    ManifestEntry row{};
    size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) {
      std::memcpy(row.fileName, line.c_str(), line.size() + 1);
    } else {
      ++e.shortcutCount;
      size_t space = line.find(' ', start);
      std::string name = line.substr(start, space == std::string::npos ? std::string::npos : space - start);
      std::memcpy(row.fileName, name.c_str(), name.size() + 1);
      if (space != std::string::npos) {
        std::string shortcut = line.substr(space + 1);
        std::memcpy(row.shortcutName, shortcut.c_str(), shortcut.size() + 1);
      }
    }
    e.rows.push_back(row);
    // Names that leave their folder or name a device are refused before
    // anything is opened (the rules themselves are tested on their own).
    char refusal[sizeof(InstallState{}.errorText)];
    if (DescribeBadEntry(row, refusal, sizeof refusal)) {
      e.errorText = refusal;
      return e;
    }
    uint64_t length = 0;
    if (!medium.Openable(row.fileName, &length)) {
      e.errorText = std::string("I can't find the installation file '") + row.fileName + "'";
      return e;
    }
    e.totalBytes = length > UINT64_MAX - e.totalBytes ? UINT64_MAX : e.totalBytes + length;
  }
  for (; next < lines.size(); ++next) {
    std::string line = Cut(lines[next]);
    if (line.compare(0, 8, ".readme ") == 0) {
      e.readme = line.substr(8);
    } else if (line.compare(0, 8, ".directx") == 0) {
      e.directX = 1;
    }
  }
  e.result = 1;
  e.fileCount = static_cast<int32_t>(count);
  return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FreshMachine();
  InstallState& st = g_installState;
  std::strcpy(st.errorText, kSentinelError);
  std::strcpy(st.readmeName, kSentinelReadme);

  const std::vector<std::string> lines = RawLines(data, size);
  // A count of a few million rows makes the engine really allocate up to
  // 2 GiB (it refuses more), which costs seconds per input under the
  // sanitizer and teaches the fuzzer nothing new. Such inputs are left out
  // of the corpus; larger counts, refused before any allocation, stay in.
  if (!lines.empty()) {
    long long count = std::strtoll(lines[0].c_str(), nullptr, 10);
    if (count > kMaxFuzzedRows && count <= 0x7FFFFFFF / 256) return -1;
  }
  fuzz::Medium medium;
  for (size_t i = 1; i < lines.size(); ++i) {
    std::string line = Cut(lines[i]);
    size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) continue;
    medium.Add(line.substr(start, line.find(' ', start) - start));
  }
  try {
    hl::AddFile("C:\\MEDIA\\setup.inf", std::string(reinterpret_cast<const char*>(data), size));
  } catch (const std::logic_error&) {
    // An entry's name made a folder of that name ("setup.inf/x", with "/" a
    // separator): no manifest can be put on such a medium.
    return -1;
  }

  const Expected want = Reference(lines, medium);
  const int result = LoadManifest();

  FUZZ_CHECK(result == 0 || result == 1, "result %d", result);
  FUZZ_CHECK(hl::OpenFileCount() == 0, "%d files left open", hl::OpenFileCount());
  FUZZ_CHECK(fuzz::Terminated(st.errorText, sizeof st.errorText), "errorText not terminated");
  FUZZ_CHECK(fuzz::Terminated(st.readmeName, sizeof st.readmeName), "readmeName not terminated");
  FUZZ_CHECK(result == want.result, "result %d, expected %d", result, want.result);
  FUZZ_CHECK(want.errorText == st.errorText, "errorText \"%s\", expected \"%s\"", st.errorText,
             want.errorText.c_str());
  if (result == 1) {
    FUZZ_CHECK(st.fileCount == want.fileCount, "fileCount %d, expected %d", st.fileCount, want.fileCount);
    FUZZ_CHECK(st.shortcutCount == want.shortcutCount, "shortcutCount %d, expected %d", st.shortcutCount,
               want.shortcutCount);
    FUZZ_CHECK(st.shortcutCount <= st.fileCount, "more shortcuts than files");
    FUZZ_CHECK(st.entries != nullptr, "no table after a successful load");
    for (int32_t i = 0; i < st.fileCount; ++i) {
      FUZZ_CHECK(std::memcmp(&st.entries[i], &want.rows[static_cast<size_t>(i)], sizeof(ManifestEntry)) == 0,
                 "row %d differs: \"%.128s\" \"%.128s\"", i, st.entries[i].fileName, st.entries[i].shortcutName);
    }
    FUZZ_CHECK(st.totalBytes == want.totalBytes, "totalBytes %llu, expected %llu",
               static_cast<unsigned long long>(st.totalBytes), static_cast<unsigned long long>(want.totalBytes));
    FUZZ_CHECK(want.readme == st.readmeName, "readmeName \"%s\", expected \"%s\"", st.readmeName,
               want.readme.c_str());
    FUZZ_CHECK(st.directXFlag == want.directX, "directXFlag %d, expected %d", st.directXFlag, want.directX);
  } else {
    // The directives are only read after every entry: a failed load sets neither.
    FUZZ_CHECK(std::strcmp(st.readmeName, kSentinelReadme) == 0, "readmeName changed by a failed load");
    FUZZ_CHECK(st.directXFlag == 0, "directXFlag set by a failed load");
  }
  return 0;
}
