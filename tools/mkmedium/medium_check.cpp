#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "engine/install_state.h"
#include "engine/manifest.h"
#include "engine/path_rules.h"
#include "platform/services.h"
#include "tools/mkmedium/medium.h"
#include "tools/mkmedium/medium_util.h"

namespace medium {

namespace {

constexpr const char* kManifestName = "setup.inf";
constexpr const char* kUnreadable = "I couldn't read the installation file.";

// One read of the reader: the raw text (line end included) and the text
// after ReadManifestLine's cut, with the physical line it came from.
struct ReadLine {
  std::string raw, cut;
  int phys = 0;
  bool continuation = false;  // not the start of its physical line
  bool continues = false;     // the next read is the rest of the same physical line
};

struct Checker {
  Report& r;

  void Add(Severity severity, int line, const char* code, const std::string& text) {
    r.problems.push_back(Problem{severity, line, code, text});
  }
  void Error(int line, const char* code, const std::string& text) { Add(Severity::kError, line, code, text); }
  void Warning(int line, const char* code, const std::string& text) { Add(Severity::kWarning, line, code, text); }
  bool HasError() const {
    return std::any_of(r.problems.begin(), r.problems.end(),
                       [](const Problem& p) { return p.severity == Severity::kError; });
  }
};

bool ReadWhole(const char* name, std::string* out) {
  plat::FileReader* file = plat::OpenForRead(name);
  if (!file) return false;
  char buf[65536];
  bool ok = true;
  for (;;) {
    int n = plat::ReadBytes(file, buf, static_cast<int>(sizeof buf));
    if (n < 0) ok = false;
    if (n <= 0) break;
    out->append(buf, static_cast<size_t>(n));
  }
  plat::CloseFile(file);
  return ok;
}

// The reads the reader makes of `text`: two streams over the same bytes, one
// read raw (to see where each read ends) and one through ReadManifestLine
// (the cut the reader applies to every line but the count line).
std::vector<ReadLine> SplitLikeTheReader(const std::string& text) {
  std::vector<ReadLine> lines;
  ManifestStream raw(text.data(), text.size());
  ManifestStream cut(text.data(), text.size());
  char rawBuf[128], cutBuf[128];
  int phys = 1;
  bool atLineStart = true;
  while (raw.ReadRawLine(rawBuf)) {
    ReadLine line;
    line.raw = rawBuf;
    line.phys = phys;
    line.continuation = !atLineStart;
    // The count line is the first read and is not cut; the cut stream reads
    // it too, to stay in step.
    if (ReadManifestLine(cut, cutBuf)) line.cut = cutBuf;
    atLineStart = !line.raw.empty() && line.raw.back() == '\n';
    if (atLineStart) ++phys;
    if (!lines.empty()) lines.back().continues = line.continuation;
    lines.push_back(line);
  }
  return lines;
}

// Length of each physical line with its line end, by line number (from 1).
std::vector<size_t> PhysicalLengths(const std::string& text) {
  std::vector<size_t> lengths(1, 0);
  size_t start = 0;
  while (start < text.size()) {
    size_t lf = text.find('\n', start);
    size_t end = lf == std::string::npos ? text.size() : lf + 1;
    lengths.push_back(end - start);
    start = end;
  }
  return lengths;
}

const char* NameProblemCode(paths::NameProblem problem) {
  switch (problem) {
    case paths::NameProblem::kNone: return "";
    case paths::NameProblem::kAbsolute: return "absolute-name";
    case paths::NameProblem::kClimbsOut: return "climbs-out";
    case paths::NameProblem::kStream: return "stream-name";
    case paths::NameProblem::kDevice: return "device-name";
    case paths::NameProblem::kBadFolder: return "bad-folder";
    case paths::NameProblem::kBadChar: return "bad-char";
  }
  return "bad-name";
}

// The name of each component of `path` as the medium holds it (the listing's
// spelling), or "" when some component is not there.
std::string SpellingOnMedium(const std::string& path) {
  std::string prefix, spelled;
  size_t start = 0;
  while (start <= path.size()) {
    size_t sep = path.find_first_of("\\/", start);
    if (sep == std::string::npos) sep = path.size();
    std::string part = path.substr(start, sep - start);
    if (!part.empty() && part != ".") {
      plat::FindData data;
      plat::FindState* find = plat::FindFirst((prefix + part).c_str(), &data);
      if (!find) return "";
      plat::FindEnd(find);
      prefix += std::string(data.name) + "\\";
      spelled += (spelled.empty() ? "" : "\\") + std::string(data.name);
    }
    start = sep + 1;
  }
  return spelled;
}

bool HasNonAscii(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

void CheckEntryNames(Checker& c, const Entry& e, const std::string& lineText) {
  const int line = e.line;
  // A tab between the two names is the commonest way to get both wrong at
  // once: the reader keeps it inside a name, which the name rules refuse.
  bool tabInFile = e.fileName.find('\t') != std::string::npos;
  bool tabInShortcut = e.shortcutName.find('\t') != std::string::npos;
  if (tabInFile) {
    c.Error(line, "tab",
            "a tab where the space belongs: INSTALL.EXE separates the file name from the shortcut name only by "
            "one space, so it takes " + Quote(e.fileName) + " as the file name, which no Windows name may be, "
            "and refuses the medium");
  }
  paths::NameProblem fileProblem = paths::CheckName(e.fileName.c_str());
  if (!tabInFile && fileProblem != paths::NameProblem::kNone) {
    c.Error(line, NameProblemCode(fileProblem),
            "the file name " + Quote(e.fileName) + " cannot be installed: " +
                paths::DescribeNameProblem(fileProblem) + "; INSTALL.EXE refuses the medium");
  }
  paths::NameProblem shortcutProblem = paths::CheckName(e.shortcutName.c_str());
  if (tabInShortcut && !tabInFile) {
    c.Error(line, "tab",
            "the shortcut name " + Quote(e.shortcutName) + " holds a tab, which no Windows name may hold; "
            "INSTALL.EXE refuses the medium");
  } else if (!tabInShortcut && shortcutProblem != paths::NameProblem::kNone) {
    c.Error(line, NameProblemCode(shortcutProblem),
            "the shortcut name " + Quote(e.shortcutName) + " cannot be used: " +
                paths::DescribeNameProblem(shortcutProblem) + "; INSTALL.EXE refuses the medium");
  }
  if (e.shortcutName.empty() && !tabInFile) {
    c.Warning(line, "no-shortcut-name",
              "no shortcut name after " + Quote(e.fileName) + ": the link is named \".lnk\" (write the file name, "
              "one space, the shortcut name)");
  } else if (e.shortcutName[0] == ' ') {
    c.Warning(line, "shortcut-blank",
              "the shortcut name " + Quote(e.shortcutName) + " starts with a blank: only the first space "
              "separates, the others belong to the name");
  }
  if (HasNonAscii(lineText)) {
    c.Warning(line, "non-ascii",
              "the line holds characters outside ASCII: INSTALL.EXE reads names in the Windows ANSI code page, "
              "so they match the medium only where its names were written in that code page");
  }
}

}  // namespace

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::kRefuses: return "refuses";
    case Outcome::kStops: return "stops";
    case Outcome::kCompletes: return "completes";
  }
  return "?";
}

int Report::Errors() const {
  return static_cast<int>(std::count_if(problems.begin(), problems.end(),
                                        [](const Problem& p) { return p.severity == Severity::kError; }));
}
int Report::Warnings() const { return static_cast<int>(problems.size()) - Errors(); }
int Report::ExitStatus() const { return Errors() ? 2 : Warnings() ? 1 : 0; }

Report CheckMedium(const Settings& settings, const std::vector<HostNote>& notes) {
  Report r;
  Checker c{r};
  r.mediumRoot = MediumRoot();

  // The two directories as the Install command hands them to the run.
  char field[paths::kPathBytes];
  char full[paths::kPathBytes];
  CopyField(field, settings.installDir);
  paths::TidyFieldText(field);
  if (!paths::MakeFullDir(field, full)) {
    c.Error(0, "install-dir", "the installation directory " + Quote(settings.installDir) +
                                  " cannot be made a full path of at most 259 characters");
    full[0] = '\0';
  }
  r.installDir = full;
  char folderText[paths::kPathBytes];
  char programFolder[paths::kPathBytes];
  CopyField(folderText, settings.folder);
  paths::TidyFieldText(folderText);
  if (!paths::Join(programFolder, settings.programs.c_str(), folderText)) {
    c.Error(0, "programs", "the program folder under " + Quote(settings.programs) + " does not fit in 259 characters");
  }
  r.programFolder = programFolder;

  std::vector<FileOnMedium> files = ListMedium();
  // Every name of the medium by its key, spelled as the listing spells it.
  std::map<std::string, std::string> spelling;
  for (const FileOnMedium& f : files) spelling.emplace(NameKey(f.path), f.path);
  auto onMedium = [&spelling](const std::string& name) { return spelling.count(NameKey(name)) != 0; };

  for (const HostNote& note : notes) {
    if (note.code == "case-collision") {
      c.Error(0, "case-collision", note.text);
    } else {
      c.Warning(0, note.code.c_str(), note.text);
    }
  }
  for (const FileOnMedium& f : files) {
    if (f.collidesWith.empty()) continue;
    c.Error(0, "case-collision",
            Quote(f.path) + " and " + Quote(f.collidesWith) + " differ only in letter case: Windows sees one file "
            "where this folder holds two");
  }
  if (!onMedium("INSTALL.EXE")) {
    c.Warning(0, "no-installer", "the medium has no INSTALL.EXE");
  }

  std::string text;
  bool readable = ReadWhole(kManifestName, &text);
  uint32_t attributes = plat::GetFileAttribs(kManifestName);
  if (!readable || (attributes != plat::kInvalidFileAttributes && (attributes & plat::kFileAttributeDirectory))) {
    c.Error(0, "no-manifest", attributes == plat::kInvalidFileAttributes
                                  ? "the medium has no setup.inf"
                                  : "setup.inf cannot be read");
    r.outcome = Outcome::kRefuses;
    r.message = kUnreadable;
    return r;
  }

  std::vector<ReadLine> lines = SplitLikeTheReader(text);
  std::vector<size_t> lengths = PhysicalLengths(text);
  bool utf16 = false;
  int32_t count = 0;
  if (lines.empty()) {
    c.Warning(1, "empty-manifest", "setup.inf is empty: INSTALL.EXE reads count 0 and installs nothing");
  } else {
    switch (DetectEncoding(lines[0].raw.c_str())) {
      case ManifestEncoding::kUtf16:
        utf16 = true;
        c.Error(1, "utf16",
                "setup.inf is saved as UTF-16 (Unicode): INSTALL.EXE reads only single-byte text and refuses the "
                "medium; save it as ANSI or UTF-8");
        break;
      case ManifestEncoding::kUtf8Bom:
        c.Warning(1, "bom",
                  "setup.inf starts with a UTF-8 byte-order mark: INSTALL.EXE skips it, but other programs "
                  "reading the file may take it for part of the count; save it without one");
        count = ParseCountLine(lines[0].raw.c_str() + 3);
        break;
      case ManifestEncoding::kPlain:
        count = ParseCountLine(lines[0].raw.c_str());
        break;
    }
  }
  r.count = count;

  // Lines longer than the reader's 127 characters, wherever they are.
  for (size_t i = 0; !utf16 && i < lines.size(); ++i) {
    if (lines[i].continuation || !lines[i].continues) continue;
    int pieces = 1;
    for (size_t j = i + 1; j < lines.size() && lines[j].continuation; ++j) ++pieces;
    size_t length = static_cast<size_t>(lines[i].phys) < lengths.size() ? lengths[lines[i].phys] : 0;
    c.Warning(lines[i].phys, "long-line",
              "the line has " + std::to_string(length) + " characters with its line end: INSTALL.EXE reads at "
              "most 127 at a time, so it reads this line as " + std::to_string(pieces) + " lines");
  }
  for (size_t i = 1; !utf16 && i < lines.size(); ++i) {
    const std::string& raw = lines[i].raw;
    size_t cr = raw.find('\r');
    if (cr != std::string::npos && cr + 1 < raw.size() && raw[cr + 1] != '\n') {
      c.Warning(lines[i].phys, "cr-inside",
                "a carriage return inside the line: INSTALL.EXE ends the line there and drops the rest " +
                    Quote(raw.substr(cr + 1, raw.find_first_of("\r\n", cr + 1) - cr - 1)));
    }
  }

  if (!utf16 && count < 0) {
    c.Error(1, "count-negative", "the count " + std::to_string(count) + " is negative: INSTALL.EXE refuses the medium");
  } else if (!utf16 && !lines.empty()) {
    const std::string countText = lines[0].cut;
    bool hasDigits = countText.find_first_of("0123456789") != std::string::npos;
    if (!hasDigits || (count == 0 && countText.find_first_not_of(" \t+-0") != std::string::npos)) {
      c.Warning(1, "count-not-number",
                "the first line " + Quote(countText) + " does not start with a number: INSTALL.EXE reads count 0 "
                "and installs nothing");
    }
  }

  // ---- the entries ----------------------------------------------------------
  std::map<std::string, int> destinations, shortcuts;
  const size_t entryLines = utf16 || count < 0 ? 0 : static_cast<size_t>(count);
  bool countLong = false;
  for (size_t i = 1; i <= entryLines; ++i) {
    if (i >= lines.size()) {
      c.Error(1, "count-long",
              "the count is " + std::to_string(count) + " but only " + std::to_string(lines.size() - 1) +
                  " lines follow it: INSTALL.EXE reads past the end of setup.inf and refuses the medium");
      countLong = true;
      break;
    }
    const ReadLine& line = lines[i];
    if (!line.continuation && ClassifyDirective(line.cut.c_str()) != Directive::kNone) {
      c.Error(1, "count-long",
              "the count is " + std::to_string(count) + " but line " + std::to_string(line.phys) + " " +
                  Quote(line.cut) + " is a directive: INSTALL.EXE reads it as entry " + std::to_string(i) +
                  ", looks for a file " + Quote(line.cut.substr(0, line.cut.find(' '))) + " and refuses the medium");
      countLong = true;
      break;
    }
    ManifestEntry row{};
    bool hasName = SplitEntryLine(line.cut.c_str(), &row);
    Entry e;
    e.line = line.phys;
    e.fileName = row.fileName;
    e.shortcutName = row.shortcutName;
    if (!hasName) {
      c.Error(line.phys, "empty-entry",
              line.continuation ? "the rest of a long line is read as an entry with no file name: INSTALL.EXE "
                                  "refuses the medium"
                                : "an empty entry line: INSTALL.EXE looks for a file with no name and refuses the "
                                  "medium");
      r.entries.push_back(e);
      continue;
    }
    size_t before = r.problems.size();
    CheckEntryNames(c, e, line.cut);
    bool nameRefused = std::any_of(r.problems.begin() + static_cast<long>(before), r.problems.end(),
                                   [](const Problem& p) { return p.severity == Severity::kError; });
    e.refused = nameRefused;
    if (!nameRefused) {
      uint32_t attrs = plat::GetFileAttribs(e.fileName.c_str());
      plat::FileReader* file = plat::OpenForRead(e.fileName.c_str());
      if (file) {
        e.found = plat::GetFileLength(file, &e.size);
        plat::CloseFile(file);
      }
      if (attrs != plat::kInvalidFileAttributes && (attrs & plat::kFileAttributeDirectory)) {
        e.found = false;
        c.Error(line.phys, "not-a-file",
                Quote(e.fileName) + " is a folder on the medium, not a file: INSTALL.EXE refuses the medium");
      } else if (!e.found) {
        c.Error(line.phys, "missing-file",
                Quote(e.fileName) + " is not on the medium: INSTALL.EXE refuses the medium");
      } else {
        auto known = spelling.find(NameKey(e.fileName));
        std::string spelled = known != spelling.end() ? known->second : SpellingOnMedium(e.fileName);
        std::string asListed = e.fileName;
        std::replace(asListed.begin(), asListed.end(), '/', '\\');
        if (!spelled.empty() && spelled != asListed) {
          c.Warning(line.phys, "case-differs",
                    "listed as " + Quote(e.fileName) + " but spelled " + Quote(spelled) +
                        " on the medium: Windows finds it whatever the letter case, a case-sensitive copy of the "
                        "medium does not, and it is installed as " + Quote(e.fileName));
        }
      }
    }

    // Paths as the run composes them, under the chosen directories and under
    // longer ones a user may choose.
    char path[paths::kPathBytes];
    if (!r.installDir.empty() && paths::Join(path, r.installDir.c_str(), e.fileName.c_str())) {
      e.destination = path;
    } else if (!r.installDir.empty()) {
      c.Error(line.phys, "path-too-long",
              Quote(r.installDir + "\\" + e.fileName) + " has more than 259 characters: INSTALL.EXE stops with "
              "\"The installation directory is too long\"");
    }
    if (paths::Join(path, r.programFolder.c_str(), e.shortcutName.c_str(), ".lnk")) {
      e.link = path;
    } else {
      c.Error(line.phys, "path-too-long",
              Quote(r.programFolder + "\\" + e.shortcutName + ".lnk") + " has more than 259 characters: INSTALL.EXE "
              "stops with \"The program folder is too long\"");
    }
    const size_t roomForDir = paths::kMaxPathChars - 1 - e.fileName.size();
    const size_t roomForFolder = paths::kMaxPathChars - 1 - e.shortcutName.size() - 4;
    if (!e.destination.empty() && roomForDir < kRoomWanted) {
      c.Warning(line.phys, "path-near-limit",
                "the file name has " + std::to_string(e.fileName.size()) + " characters: it fits only under an "
                "installation directory of at most " + std::to_string(roomForDir) + " characters");
    }
    if (!e.link.empty() && roomForFolder < kRoomWanted) {
      c.Warning(line.phys, "path-near-limit",
                "the shortcut name has " + std::to_string(e.shortcutName.size()) + " characters: its link fits only "
                "in a program folder path of at most " + std::to_string(roomForFolder) + " characters");
    }

    std::string destKey = NameKey(e.fileName);
    auto d = destinations.find(destKey);
    if (d != destinations.end()) {
      c.Warning(line.phys, "duplicate-file",
                Quote(e.fileName) + " is installed to the same place as the entry on line " +
                    std::to_string(d->second) + " (letter case aside): the later copy replaces the earlier");
    } else {
      destinations[destKey] = line.phys;
    }
    std::string linkKey = NameKey(e.shortcutName);
    auto s = shortcuts.find(linkKey);
    if (s != shortcuts.end()) {
      c.Warning(line.phys, "duplicate-shortcut",
                "the shortcut " + Quote(e.shortcutName + ".lnk") + " is also made for line " +
                    std::to_string(s->second) + " (letter case aside): the later link replaces the earlier");
    } else {
      shortcuts[linkKey] = line.phys;
    }
    r.entries.push_back(e);
  }

  // ---- the directives ---------------------------------------------------------
  std::vector<int> ignoredEntries;
  // A negative count ends the reading before any entry or directive.
  const size_t firstDirective = countLong || count < 0 ? lines.size() : entryLines + 1;
  for (size_t i = firstDirective; !utf16 && i < lines.size(); ++i) {
    const ReadLine& line = lines[i];
    if (line.continuation) continue;  // reported as a long line
    const std::string& t = line.cut;
    switch (ClassifyDirective(t.c_str())) {
      case Directive::kReadme: {
        if (r.readmeLine != 0) {
          c.Warning(line.phys, "readme-repeated",
                    "a second .readme: it replaces the one on line " + std::to_string(r.readmeLine));
        }
        r.readmeName = t.substr(8);
        r.readmeLine = line.phys;
        break;
      }
      case Directive::kDirectX:
        if (!r.directX) r.directXLine = line.phys;
        r.directX = true;
        if (t != ".directx") {
          c.Warning(line.phys, "directive-spelling",
                    Quote(t) + " counts as .directx: INSTALL.EXE ignores the rest of the line");
        }
        break;
      case Directive::kNone: {
        size_t first = t.find_first_not_of(' ');
        if (first == std::string::npos) break;  // blank lines are harmless
        std::string lower = Lower(t.substr(first));
        if (lower.compare(0, 7, ".readme") == 0 || lower.compare(0, 8, ".directx") == 0 ||
            lower.compare(0, 7, ".direct") == 0) {
          c.Warning(line.phys, "directive-spelling",
                    Quote(t) + " is not a directive INSTALL.EXE knows and is ignored: write \".readme NAME\" "
                    "(lower case, one space) or \".directx\" at the start of the line");
        } else if (t[first] != '.' && onMedium(t.substr(first, t.find(' ', first) - first))) {
          // Names a file of the medium: an entry the count left out.
          ignoredEntries.push_back(line.phys);
        } else {
          c.Warning(line.phys, "ignored-line", Quote(t) + " is neither an entry nor a directive: INSTALL.EXE ignores it");
        }
        break;
      }
    }
  }
  if (!ignoredEntries.empty()) {
    std::string which;
    for (int l : ignoredEntries) which += (which.empty() ? "" : ", ") + std::to_string(l);
    c.Warning(1, "count-short",
              "the count is " + std::to_string(count) + " but more entry lines follow: INSTALL.EXE installs only " +
                  std::to_string(count) + " and ignores line" + (ignoredEntries.size() > 1 ? "s " : " ") + which);
  }
  if (!utf16 && count == 0 && ignoredEntries.empty() && !lines.empty()) {
    c.Warning(1, "no-entries", "the count is 0: INSTALL.EXE installs nothing");
  }

  if (r.readmeLine != 0) {
    if (r.readmeName.empty()) {
      c.Warning(r.readmeLine, "readme-empty", "\".readme \" names no file: INSTALL.EXE shows no readme");
    } else {
      bool listed = std::any_of(r.entries.begin(), r.entries.end(),
                                [&](const Entry& e) { return NameKey(e.fileName) == NameKey(r.readmeName); });
      if (!listed) {
        c.Warning(r.readmeLine, "readme-not-listed",
                  "the readme " + Quote(r.readmeName) + " is not one of the listed files: Notepad is asked to open "
                  "a file the installation never writes");
      }
      if (r.directX) {
        c.Warning(r.readmeLine, "readme-not-shown",
                  ".directx (line " + std::to_string(r.directXLine) + ") is given too: INSTALL.EXE then shows no "
                  "readme");
      }
      char readmePath[paths::kPathBytes];
      if (paths::Join(readmePath, r.installDir.c_str(), r.readmeName.c_str())) r.readmePath = readmePath;
    }
  }
  if (r.directX) {
    uint32_t attrs = plat::GetFileAttribs("directx.exe");
    r.directXPresent = attrs != plat::kInvalidFileAttributes && !(attrs & plat::kFileAttributeDirectory);
    if (!r.directXPresent) {
      c.Warning(r.directXLine, "directx-missing",
                ".directx but no directx.exe on the medium: the user's Yes to the DirectX question starts nothing");
    }
  }

  // Files on the medium that no entry lists.
  std::set<std::string> listed;
  for (const Entry& e : r.entries) listed.insert(NameKey(e.fileName));
  for (const FileOnMedium& f : files) {
    if (f.isDir || IsMediumOwnFile(f.path) || listed.count(NameKey(f.path))) continue;
    c.Warning(0, "unlisted-file", Quote(f.path) + " is on the medium but setup.inf does not list it");
  }

  // ---- what the installer itself says ---------------------------------------
  InstallState& st = g_installState;
  st.readmeName[0] = '\0';
  st.directXFlag = 0;
  st.errorText[0] = '\0';
  bool loaded = LoadManifest() == 1;
  if (!loaded) {
    for (const Entry& e : r.entries) r.totalBytes += e.size;
  }
  if (loaded) r.totalBytes = st.totalBytes;
  r.spaceNeeded = r.totalBytes > UINT64_MAX / 2 ? UINT64_MAX : r.totalBytes * 2;
  if (loaded) {
    // The line analysis reads with the reader's pieces; this holds it to the
    // reader's own table.
    bool same = static_cast<size_t>(st.fileCount) == r.entries.size();
    for (size_t i = 0; same && i < r.entries.size(); ++i) {
      same = r.entries[i].fileName == st.entries[i].fileName &&
             r.entries[i].shortcutName == st.entries[i].shortcutName;
    }
    if (!same) c.Error(0, "reader-mismatch", "mkmedium read setup.inf differently from INSTALL.EXE's reader");
  }
  bool nameRefused = std::any_of(r.problems.begin(), r.problems.end(), [](const Problem& p) {
    return p.severity == Severity::kError &&
           (p.code == "absolute-name" || p.code == "climbs-out" || p.code == "stream-name" ||
            p.code == "device-name" || p.code == "bad-folder" || p.code == "bad-char" || p.code == "tab");
  });
  bool tooLong = std::any_of(r.problems.begin(), r.problems.end(), [](const Problem& p) {
    return p.code == "path-too-long" || p.code == "install-dir" || p.code == "programs";
  });
  if (!loaded || nameRefused) {
    r.outcome = Outcome::kRefuses;
    r.message = st.errorText[0] ? st.errorText : kUnreadable;
    if (!c.HasError()) c.Error(0, "refused", "INSTALL.EXE refuses the medium: " + r.message);
  } else if (tooLong) {
    r.outcome = Outcome::kStops;
  } else {
    r.outcome = Outcome::kCompletes;
    r.readmeShown = !r.readmeName.empty() && !r.directX && !r.readmePath.empty();
  }
  std::free(st.entries);
  st.entries = nullptr;
  st.fileCount = 0;

  // By line; what concerns the medium as a whole comes last.
  std::stable_sort(r.problems.begin(), r.problems.end(), [](const Problem& a, const Problem& b) {
    unsigned la = static_cast<unsigned>(a.line - 1), lb = static_cast<unsigned>(b.line - 1);
    return la != lb ? la < lb : a.severity < b.severity;
  });
  return r;
}

}  // namespace medium
