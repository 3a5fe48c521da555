// The file-system behaviour the engine relies on, as one table of cases that
// runs against both backends: natively against the headless model, and
// under Wine against the Win32 calls. A case states what Windows does. Where
// one side is known to give something else, the case says so where it
// stands, with that side's answer and why, the way Wine's conformance tests
// mark todo_wine: that side is held to its own answer, and when it comes to
// agree with Windows the case fails until the mark goes.
//
// Paths in a case may use:
//   {D}  the sandbox, the current directory ("C:\...\fs-1")
//   {P}  its parent directory
//   {R}  the sandbox rooted on the current drive, without the drive ("\...\fs-1")
//   {N}  the sandbox's own name
//   {C}  its drive, "C:"
//   {pad:N}  a run of 'n' that makes the whole path N characters long (a
//            relative name in a set-up or a tree counts from the sandbox)
// Set-ups and trees list the sandbox's contents, separated by " | ": "name\"
// for a directory, "name=content" for a file, parents before children.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "platform/services.h"
#include "tests/shared/fs_sandbox.h"

namespace fscases {
namespace {

enum class Call {
  kAttribs,     // GetFileAttribs: the attribute bits, or "missing"
  kCreateDir,   // "ok" / "fails"
  kRemoveDir,   // "ok" / "fails"
  kDeleteFile,  // "ok" / "fails"
  kCopy,        // CopyFileOver(arg, arg2): "copied" / "failed" / "partial"
  kOpen,        // OpenForRead, then GetFileKind, GetFileLength and the bytes:
                // "disk 5 [hello]" (length "-" when it fails; no length for
                // other kinds), or "none"
  kFullPath,    // GetFullPath: the path, or "fails"
  kFind,        // FindFirst/FindNext: the names sorted, directories with a
                // trailing "\", or "none"
};

// A side known to give another answer than Windows.
struct Differs {
  const char* result = nullptr;  // its answer; nullptr: the same as Windows
  const char* after = nullptr;   // the tree it leaves; nullptr: the same as Windows
  const char* why = nullptr;     // nullptr: no difference
};

struct Case {
  const char* name;
  Call call;
  const char* setup;
  const char* arg;
  const char* arg2;      // kCopy: the destination
  const char* result;
  const char* after;     // the sandbox afterwards; nullptr: as set up
  const char* holdOpen;  // a file held open by OpenForRead during the call
  Differs model;         // the headless model
  Differs wine;          // Wine, where Windows (and the model) do otherwise

  Case Model(const char* answer, const char* why) const {
    Case c = *this;
    c.model = {answer, nullptr, why};
    return c;
  }
  Case ModelLeaves(const char* answer, const char* tree, const char* why) const {
    Case c = *this;
    c.model = {answer, tree, why};
    return c;
  }
  Case Wine(const char* answer, const char* why) const {
    Case c = *this;
    c.wine = {answer, nullptr, why};
    return c;
  }
  Case WineLeaves(const char* answer, const char* tree, const char* why) const {
    Case c = *this;
    c.wine = {answer, tree, why};
    return c;
  }
  Case HoldingOpen(const char* path) const {
    Case c = *this;
    c.holdOpen = path;
    return c;
  }
};

Case Make(const char* name, Call call, const char* setup, const char* arg, const char* arg2, const char* result,
          const char* after) {
  return Case{name, call, setup, arg, arg2, result, after, nullptr, {}, {}};
}
Case Attribs(const char* name, const char* setup, const char* path, const char* result) {
  return Make(name, Call::kAttribs, setup, path, nullptr, result, nullptr);
}
Case CreateDir(const char* name, const char* setup, const char* path, const char* result, const char* after) {
  return Make(name, Call::kCreateDir, setup, path, nullptr, result, after);
}
Case RemoveDir(const char* name, const char* setup, const char* path, const char* result, const char* after) {
  return Make(name, Call::kRemoveDir, setup, path, nullptr, result, after);
}
Case DeleteFile(const char* name, const char* setup, const char* path, const char* result, const char* after) {
  return Make(name, Call::kDeleteFile, setup, path, nullptr, result, after);
}
Case Copy(const char* name, const char* setup, const char* src, const char* dst, const char* result,
          const char* after) {
  return Make(name, Call::kCopy, setup, src, dst, result, after);
}
Case Open(const char* name, const char* setup, const char* path, const char* result) {
  return Make(name, Call::kOpen, setup, path, nullptr, result, nullptr);
}
Case FullPath(const char* name, const char* path, const char* result) {
  return Make(name, Call::kFullPath, "", path, nullptr, result, nullptr);
}
Case Find(const char* name, const char* setup, const char* pattern, const char* result) {
  return Make(name, Call::kFind, setup, pattern, nullptr, result, nullptr);
}

constexpr const char* kFileBits = "0x20";  // FILE_ATTRIBUTE_ARCHIVE, set on every new file
constexpr const char* kDirBits = "0x10";
constexpr const char* kMissing = "missing";
constexpr const char* kOk = "ok";
constexpr const char* kFails = "fails";
constexpr const char* kCopied = "copied";
constexpr const char* kFailed = "failed";
constexpr const char* kNone = "none";

// The usual set-up: a directory, a file, and a file inside the directory.
#define BASIC_TREE "sub\\ | sub\\inner.txt=in | file.txt=hello"
constexpr const char* kBasic = BASIC_TREE;

// clang-format off
const Case kCases[] = {
    // ---- Attributes of files, directories, missing names; path spellings ----
    Attribs("AttribsOfADirectory", kBasic, "{D}\\sub", kDirBits),
    Attribs("AttribsOfAFile", kBasic, "{D}\\file.txt", kFileBits),
    Attribs("AttribsOfARelativeName", kBasic, "sub", kDirBits),
    Attribs("AttribsOfSomethingMissing", kBasic, "{D}\\missing", kMissing),
    Attribs("AttribsBelowSomethingMissing", kBasic, "{D}\\missing\\deeper", kMissing),
    Attribs("AttribsThroughAFile", kBasic, "{D}\\file.txt\\x", kMissing),
    Attribs("TrailingSeparatorOnAFile", kBasic, "{D}\\file.txt\\", kMissing),
    Attribs("TrailingSeparatorOnADirectory", kBasic, "{D}\\sub\\", kDirBits),
    Attribs("NamesIgnoreCase", kBasic, "{D}\\SUB\\Inner.TXT", kFileBits),
    Attribs("SlashSeparates", kBasic, "{D}/sub/inner.txt", kFileBits),
    Attribs("DoubledSeparatorsFold", kBasic, "{D}\\\\sub//\\inner.txt", kFileBits),
    Attribs("RootedOnTheCurrentDrive", kBasic, "{R}\\file.txt", kFileBits),
    Attribs("SlashRootedOnTheCurrentDrive", kBasic, "/{N}/../{R}/file.txt", kFileBits),
    Attribs("DriveRelativeName", kBasic, "{C}file.txt", kFileBits),
    Attribs("TheDriveAloneIsItsCurrentDirectory", kBasic, "{C}", kDirBits),
    Attribs("Dot", kBasic, ".", kDirBits),
    Attribs("DotDotClimbs", kBasic, "..\\{N}\\sub\\inner.txt", kFileBits),
    Attribs("DotDotStopsAtTheRoot", kBasic, "{C}\\..\\..{R}\\file.txt", kFileBits),
    Attribs("DotsInside", kBasic, "{D}\\.\\sub\\.\\..\\file.txt", kFileBits),
    Attribs("AWildcardIsNoName", kBasic, "{D}\\fil?.txt", kMissing),
    Attribs("EmptyName", kBasic, "", kMissing),
    Attribs("MissingDrive", kBasic, "Q:\\", kMissing),
    Attribs("UncName", kBasic, "\\\\server\\share", kMissing),
    Attribs("UncNameWithSlashes", kBasic, "//server/share", kMissing),
    Attribs("TrailingDotOfAFile", kBasic, "{D}\\file.txt.", kFileBits)
        .Model(kMissing, "the model keeps trailing dots and blanks of a name; Windows drops them"),
    Attribs("TrailingBlankOfAFile", kBasic, "{D}\\file.txt ", kFileBits)
        .Model(kMissing, "the model keeps trailing dots and blanks of a name; Windows drops them"),
    Attribs("PathOf259Characters", "{pad:259}=x", "{D}\\{pad:259}", kFileBits),
    Attribs("SpellingLongerThan259", "{pad:259}=x", "{D}\\.\\{pad:261}", kMissing),

    // ---- CreateDir -------------------------------------------------------------------
    CreateDir("CreateDirNew", kBasic, "{D}\\new", kOk, "sub\\ | sub\\inner.txt=in | file.txt=hello | new\\"),
    CreateDir("CreateDirKeepsTheCaseGiven", "", "NewDir", kOk, "NewDir\\"),
    CreateDir("CreateDirRootedWithTrailingSeparator", "", "{R}\\rooted\\", kOk, "rooted\\"),
    CreateDir("CreateDirDriveRelative", "", "{C}new", kOk, "new\\"),
    CreateDir("CreateDirExisting", kBasic, "{D}\\sub", kFails, nullptr),
    CreateDir("CreateDirExistingOtherCase", kBasic, "{D}\\SUB", kFails, nullptr),
    CreateDir("CreateDirOverAFile", kBasic, "file.txt", kFails, nullptr),
    CreateDir("CreateDirMissingParent", kBasic, "{D}\\no\\parent", kFails, nullptr),
    CreateDir("CreateDirThroughAFile", kBasic, "{D}\\file.txt\\child", kFails, nullptr),
    CreateDir("CreateDirTheRoot", "", "{C}\\", kFails, nullptr),
    CreateDir("CreateDirTheCurrentRoot", "", "\\", kFails, nullptr),
    CreateDir("CreateDirEmptyName", "", "", kFails, nullptr),
    CreateDir("CreateDirMissingDrive", "", "Q:\\new", kFails, nullptr),
    CreateDir("CreateDirWildcard", "", "a?b", kFails, nullptr),
    CreateDir("CreateDirAngleBracket", "", "a<b", kFails, nullptr),
    CreateDir("CreateDirBar", "", "a|b", kFails, nullptr),
    CreateDir("CreateDirQuote", "", "a\"b", kFails, nullptr),
    CreateDir("CreateDirColon", "", "{D}\\a:b", kFails, nullptr)
        .WineLeaves(kOk, "a:b\\", "no streams on a Unix file system: ':' is a character like any other"),
    CreateDir("CreateDirTrailingBlank", "", "blank ", kOk, "blank\\")
        .ModelLeaves(kOk, "blank \\", "the model keeps trailing dots and blanks of a name; Windows drops them"),
    CreateDir("CreateDirTrailingDot", "", "dot.", kOk, "dot\\")
        .ModelLeaves(kOk, "dot.\\", "the model keeps trailing dots and blanks of a name; Windows drops them"),
    CreateDir("CreateDirOf247Characters", "", "{D}\\{pad:247}", kOk, "{pad:247}\\"),
    CreateDir("CreateDirOf248Characters", "", "{D}\\{pad:248}", kFails, nullptr)
        .WineLeaves(kOk, "{pad:248}\\", "no room kept for an 8.3 name: the limit is MAX_PATH as for every call"),

    // ---- RemoveDir --------------------------------------------------------------------
    RemoveDir("RemoveDirEmpty", "empty\\ | file.txt=x", "{D}\\empty", kOk, "file.txt=x"),
    RemoveDir("RemoveDirOtherCase", "empty\\", "EMPTY", kOk, ""),
    RemoveDir("RemoveDirNotEmpty", kBasic, "{D}\\sub", kFails, nullptr),
    RemoveDir("RemoveDirOfAFile", kBasic, "{D}\\file.txt", kFails, nullptr),
    RemoveDir("RemoveDirMissing", kBasic, "{D}\\missing", kFails, nullptr),
    RemoveDir("RemoveDirTheCurrentDirectory", "", "{D}", kFails, nullptr),
    RemoveDir("RemoveDirTheRoot", "", "{C}\\", kFails, nullptr),

    // ---- DeleteFile --------------------------------------------------------------------
    DeleteFile("DeleteFileOfAFile", kBasic, "{D}\\file.txt", kOk, "sub\\ | sub\\inner.txt=in"),
    DeleteFile("DeleteFileOtherCase", kBasic, "SUB\\INNER.TXT", kOk, "sub\\ | file.txt=hello"),
    DeleteFile("DeleteFileMissing", kBasic, "{D}\\missing", kFails, nullptr),
    DeleteFile("DeleteFileOfADirectory", "empty\\", "{D}\\empty", kFails, nullptr),
    DeleteFile("DeleteFileHeldOpen", kBasic, "{D}\\file.txt", kFails, nullptr).HoldingOpen("{D}\\file.txt"),

    // ---- CopyFileOver --------------------------------------------------------------------
    Copy("CopyToANewName", kBasic, "file.txt", "{D}\\sub\\copy.txt", kCopied, BASIC_TREE " | sub\\copy.txt=hello"),
    Copy("CopyOverAnEarlierLongerFile", "file.txt=hello | old.txt=an earlier and longer text",
         "file.txt", "old.txt", kCopied, "file.txt=hello | old.txt=hello"),
    Copy("CopyOfAnEmptyFile", "empty.txt=", "empty.txt", "{D}\\copy.txt", kCopied, "empty.txt= | copy.txt="),
    Copy("CopyFromAFileHeldOpen", kBasic, "file.txt", "copy.txt", kCopied, BASIC_TREE " | copy.txt=hello")
        .HoldingOpen("file.txt"),
    Copy("CopyOntoAFileHeldOpen", "file.txt=hello | old.txt=old", "file.txt", "old.txt", kFailed, nullptr)
        .HoldingOpen("old.txt"),
    Copy("CopyOntoADirectory", kBasic, "file.txt", "{D}\\sub", kFailed, nullptr),
    Copy("CopyOntoItself", kBasic, "file.txt", "file.txt", kFailed, nullptr),
    Copy("CopyOntoItselfOtherSpelling", kBasic, "file.txt", "{D}/FILE.TXT", kFailed, nullptr),
    Copy("CopyFromAMissingSource", kBasic, "missing.txt", "{D}\\file.txt", kFailed, nullptr),
    Copy("CopyFromADirectory", kBasic, "sub", "{D}\\file.txt", kFailed, nullptr),
    Copy("CopyIntoAMissingDirectory", kBasic, "file.txt", "{D}\\nodir\\copy.txt", kFailed, nullptr),
    Copy("CopyOntoANameWithATrailingSeparator", kBasic, "file.txt", "{D}\\copy.txt\\", kFailed, nullptr),
    Copy("CopyToAPathOf259Characters", "file.txt=hello", "file.txt", "{D}\\{pad:259}", kCopied,
         "file.txt=hello | {pad:259}=hello"),
    Copy("CopyToAPathOf260Characters", "file.txt=hello", "file.txt", "{D}\\{pad:260}", kFailed, nullptr)
        .WineLeaves(kCopied, "file.txt=hello | {pad:260}=hello",
                    "CreateFileA takes a name of MAX_PATH characters, one more than Windows"),

    // ---- OpenForRead, GetFileKind, GetFileLength --------------------------------------------
    Open("OpenAFile", kBasic, "{D}\\file.txt", "disk 5 [hello]"),
    Open("OpenARelativeNameAnySpelling", kBasic, "SUB/Inner.txt", "disk 2 [in]"),
    Open("OpenAnEmptyFile", "empty.txt=", "empty.txt", "disk 0 []"),
    Open("OpenADirectory", kBasic, "{D}\\sub", kNone),
    Open("OpenSomethingMissing", kBasic, "{D}\\missing.txt", kNone),
    Open("OpenThroughAFile", kBasic, "{D}\\file.txt\\x", kNone),
    Open("OpenAFileWithATrailingSeparator", kBasic, "{D}\\file.txt\\", kNone),
    Open("OpenTheNulDevice", "", "NUL", "device []")
        .Model(kNone, "The model has no devices; a test makes a name open one with hl::SetFileKind."),

    // ---- GetFullPath ------------------------------------------------------------------------------
    FullPath("FullPathOfARelativeName", "a\\b", "{D}\\a\\b"),
    FullPath("FullPathOfDotDot", "..", "{P}"),
    FullPath("FullPathDotDotStopsAtTheRoot", "{C}\\..\\..\\x", "{C}\\x"),
    FullPath("FullPathOfSlash", "/", "{C}\\")
        .Wine("Z:\\", "a name that starts with \"/\" and exists on the host is taken for a host path"),
    FullPath("FullPathOfBackslash", "\\", "{C}\\"),
    FullPath("FullPathSlashesAndDoubledSeparators", "a/b//c\\\\d", "{D}\\a\\b\\c\\d"),
    FullPath("FullPathDriveRelative", "{C}a", "{D}\\a"),
    FullPath("FullPathTheDriveAlone", "{C}", "{D}")
        .Wine("{D}\\", "the drive's current directory keeps its trailing separator"),
    FullPath("FullPathOtherDriveRelative", "Q:a", "Q:\\a"),
    FullPath("FullPathTrailingDots", "a..", "{D}\\a"),
    FullPath("FullPathTrailingDotsAndBlanks", "a. . ", "{D}\\a"),
    FullPath("FullPathTrailingDotOfAnInnerName", "a.\\b", "{D}\\a\\b")
        .Model("{D}\\a.\\b", "the model drops trailing dots and blanks of the last name only"),
    FullPath("FullPathThreeDots", "...\\x", "{D}\\...\\x")
        .Wine("{D}\\..\\x", "a trailing dot of an inner name goes first, which leaves \"..\" unfolded"),
    FullPath("FullPathTrailingSeparator", "a\\", "{D}\\a\\")
        .Model("{D}\\a", "the model's full paths never end in a separator (but a root's)"),
    FullPath("FullPathUncName", "\\\\server\\share\\dir/x", "\\\\server\\share\\dir\\x"),
    FullPath("FullPathWildcard", "a?b", "{D}\\a?b")
        .Model(kFails, "the model resolves no name with a character Windows refuses in file names"),
    FullPath("FullPathEmpty", "", kFails),
    FullPath("FullPathOver259Characters", "{D}\\{pad:260}", kFails),

    // ---- FindFirst / FindNext ------------------------------------------------------------------------
    Find("FindAllInADirectory", "Games\\ | Tools\\ | note.txt=x", "{D}\\*.*", ".\\ | ..\\ | Games\\ | Tools\\ | note.txt"),
    Find("FindStar", "Games\\ | note=x", "{D}\\*", ".\\ | ..\\ | Games\\ | note"),
    Find("FindStarDotStarMatchesNamesWithoutADot", "Games\\ | note=x", "{D}\\*.*", ".\\ | ..\\ | Games\\ | note"),
    Find("FindByExtensionIgnoringCase", "a.lnk=x | b.txt=x | c.LNK=x | d.lnkx=x", "{D}\\*.lnk",
         "a.lnk | c.LNK | d.lnkx")
        .Model("a.lnk | c.LNK", "the model has no 8.3 names; Windows matches them too, and D~1.LNK is d.lnkx's"),
    Find("FindQuestionMark", "a.txt=x | bb.txt=x | c.txt=x", "{D}\\?.txt", "a.txt | c.txt"),
    Find("FindOneName", kBasic, "{D}\\FILE.txt", "file.txt"),
    Find("FindRelative", kBasic, "sub\\*.*", ".\\ | ..\\ | inner.txt"),
    Find("FindNoMatch", kBasic, "{D}\\*.zip", kNone),
    Find("FindInAnEmptyDirectory", "empty\\", "{D}\\empty\\*.*", ".\\ | ..\\"),
    Find("FindInAMissingDirectory", kBasic, "{D}\\missing\\*.*", kNone),
    Find("FindUnderAFile", kBasic, "{D}\\file.txt\\*.*", kNone),
    Find("FindWithSlashes", kBasic, "{D}/sub/*.*", ".\\ | ..\\ | inner.txt")
        .Model(kNone, "the model's listing takes only \"\\\" before the name pattern"),
};
// clang-format on

// ---- Running a case -----------------------------------------------------------------------------

struct Places {
  std::string dir, parent, rooted, name, drive;
};

Places PlacesOf(const std::string& dir) {
  Places p;
  p.dir = dir;
  size_t slash = dir.find_last_of('\\');
  p.parent = dir.substr(0, slash);
  if (p.parent.size() == 2) p.parent += '\\';  // "C:" alone would mean the current directory
  p.rooted = dir.substr(2);
  p.name = dir.substr(slash + 1);
  p.drive = dir.substr(0, 2);
  return p;
}

void ReplaceAll(std::string* text, const std::string& from, const std::string& to) {
  for (size_t at = text->find(from); at != std::string::npos; at = text->find(from, at + to.size())) {
    text->replace(at, from.size(), to);
  }
}

// `counted`: characters in front of the text that count towards {pad:N}.
std::string Expand(const char* text, const Places& p, size_t counted = 0) {
  std::string out = text ? text : "";
  ReplaceAll(&out, "{D}", p.dir);
  ReplaceAll(&out, "{P}", p.parent);
  ReplaceAll(&out, "{R}", p.rooted);
  ReplaceAll(&out, "{N}", p.name);
  ReplaceAll(&out, "{C}", p.drive);
  size_t at = out.find("{pad:");
  if (at != std::string::npos) {
    size_t end = out.find('}', at);
    size_t want = std::strtoul(out.c_str() + at + 5, nullptr, 10);
    size_t have = counted + out.size() - (end + 1 - at);
    out.replace(at, end + 1 - at, std::string(want > have ? want - have : 1, 'n'));
  }
  return out;
}

std::vector<std::string> Split(const std::string& list) {
  std::vector<std::string> items;
  if (list.empty()) return items;
  size_t start = 0;
  for (;;) {
    size_t bar = list.find(" | ", start);
    items.push_back(list.substr(start, bar - start));
    if (bar == std::string::npos) break;
    start = bar + 3;
  }
  return items;
}

std::string Join(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& item : items) out += (out.empty() ? "" : " | ") + item;
  return out;
}

// One entry of a set-up or tree, its name expanded: a {pad:N} makes the full
// path of the entry N characters long.
Entry EntryOf(const std::string& item, const Places& p) {
  Entry entry;
  size_t eq = item.find('=');
  entry.isDir = eq == std::string::npos;
  std::string name = entry.isDir ? item.substr(0, item.size() - (!item.empty() && item.back() == '\\')) : item.substr(0, eq);
  entry.path = Expand(name.c_str(), p, p.dir.size() + 1);
  if (!entry.isDir) entry.content = item.substr(eq + 1);
  return entry;
}

// Sorted by name, directories marked with a trailing "\".
std::string TreeOf(std::vector<Entry> entries) {
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.path < b.path; });
  std::vector<std::string> items;
  for (const Entry& e : entries) items.push_back(e.isDir ? e.path + "\\" : e.path + "=" + e.content);
  return Join(items);
}

std::string TreeOf(const char* notation, const Places& p) {
  std::vector<Entry> entries;
  for (const std::string& item : Split(notation ? notation : "")) entries.push_back(EntryOf(item, p));
  return TreeOf(entries);
}

bool Prepare(const Sandbox& box, const char* notation, const Places& p) {
  for (const std::string& item : Split(notation)) {
    Entry entry = EntryOf(item, p);
    std::string path = p.dir + "\\" + entry.path;
    if (!(entry.isDir ? box.PutDir(path) : box.PutFile(path, entry.content))) {
      ADD_FAILURE() << "cannot set up \"" << item << "\"";
      return false;
    }
  }
  return true;
}

const char* KindName(plat::FileKind kind) {
  switch (kind) {
    case plat::FileKind::kDiskFile: return "disk";
    case plat::FileKind::kDirectory: return "directory";
    case plat::FileKind::kDevice: return "device";
    case plat::FileKind::kPipe: return "pipe";
    case plat::FileKind::kUnknown: return "unknown";
  }
  return "?";
}

std::string OpenAndRead(const std::string& path) {
  plat::FileReader* file = plat::OpenForRead(path.c_str());
  if (!file) {
    plat::CloseFile(file);  // callers close what they got, even nothing
    return kNone;
  }
  const plat::FileKind kind = plat::GetFileKind(file);
  std::string out = KindName(kind);
  // The length of a device or a pipe means nothing.
  uint64_t length = 0;
  if (kind == plat::FileKind::kDiskFile) {
    out += plat::GetFileLength(file, &length) ? " " + std::to_string(length) : std::string(" -");
  }
  // Small reads, so that a read that stops short or runs past the end shows.
  std::string content;
  char buf[4];
  int got = 0;
  while (content.size() < 1000 && (got = plat::ReadBytes(file, buf, sizeof buf)) > 0) content.append(buf, got);
  out += " [" + content + "]";
  if (got < 0) out += " read failed";
  plat::CloseFile(file);
  return out;
}

std::string List(const std::string& pattern) {
  plat::FindData entry;
  plat::FindState* find = plat::FindFirst(pattern.c_str(), &entry);
  if (!find) {
    plat::FindEnd(find);  // callers end what they got, even nothing
    return kNone;
  }
  std::vector<Entry> names;
  do {
    names.push_back(Entry{entry.name, (entry.attributes & plat::kFileAttributeDirectory) != 0, ""});
  } while (plat::FindNext(find, &entry));
  // The callers read the last entry after the end: it stays.
  std::string last = entry.name;
  bool again = plat::FindNext(find, &entry);
  plat::FindEnd(find);
  std::sort(names.begin(), names.end(), [](const Entry& a, const Entry& b) { return a.path < b.path; });
  std::vector<std::string> shown;
  for (const Entry& e : names) shown.push_back(e.isDir ? e.path + "\\" : e.path);
  std::string out = Join(shown);
  if (again || last != entry.name) out += " (FindNext past the end changed the entry)";
  return out;
}

std::string Perform(const Case& c, const std::string& arg, const std::string& arg2) {
  const char* a = arg.c_str();
  switch (c.call) {
    case Call::kAttribs: {
      uint32_t bits = plat::GetFileAttribs(a);
      if (bits == plat::kInvalidFileAttributes) return kMissing;
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%x", static_cast<unsigned>(bits));
      return hex;
    }
    case Call::kCreateDir: return plat::CreateDir(a) ? kOk : kFails;
    case Call::kRemoveDir: return plat::RemoveDir(a) ? kOk : kFails;
    case Call::kDeleteFile: return plat::DeleteFileAt(a) ? kOk : kFails;
    case Call::kCopy:
      switch (plat::CopyFileOver(a, arg2.c_str())) {
        case plat::CopyResult::kCopied: return kCopied;
        case plat::CopyResult::kFailed: return kFailed;
        case plat::CopyResult::kFailedPartial: return "partial";
      }
      return "?";
    case Call::kOpen: return OpenAndRead(arg);
    case Call::kFullPath: {
      char out[plat::kMaxPath];
      return plat::GetFullPath(a, out) ? std::string(out) : std::string(kFails);
    }
    case Call::kFind: return List(arg);
  }
  return "?";
}

// gtest shows a failing case's parameter: its name, not its bytes.
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class FileSystemCase : public testing::TestWithParam<Case> {};

TEST_P(FileSystemCase, AsOnWindows) {
  const Case& c = GetParam();
  const Side side = CurrentSide();
  Sandbox box;
  ASSERT_FALSE(box.Dir().empty()) << "no sandbox";
  const Places p = PlacesOf(box.Dir());
  if (!Prepare(box, c.setup, p)) return;

  const std::string arg = Expand(c.arg, p), arg2 = Expand(c.arg2, p);
  const char* afterNotation = c.after ? c.after : c.setup;
  std::string wantResult = Expand(c.result, p), wantTree = TreeOf(afterNotation, p);
  const Differs* known = side == Side::kModel ? &c.model : side == Side::kWine ? &c.wine : nullptr;
  const bool marked = known && known->why;
  std::string windowsResult = wantResult, windowsTree = wantTree;
  if (marked) {
    if (known->result) wantResult = Expand(known->result, p);
    if (known->after) wantTree = TreeOf(known->after, p);
  }

  plat::FileReader* held = nullptr;
  if (c.holdOpen) {
    held = plat::OpenForRead(Expand(c.holdOpen, p).c_str());
    ASSERT_NE(held, nullptr) << "cannot hold " << c.holdOpen << " open";
  }
  const std::string result = Perform(c, arg, arg2);
  plat::CloseFile(held);
  const std::string tree = TreeOf(box.Contents());

  std::string call = "\"" + arg + "\"" + (c.arg2 ? " -> \"" + arg2 + "\"" : std::string());
  std::string note = marked ? std::string(" (a known difference on ") + SideName(side) + ": " + known->why + ")" : "";
  EXPECT_EQ(result, wantResult) << call << note;
  EXPECT_EQ(tree, wantTree) << call << ": the sandbox afterwards" << note;
  if (marked && result == windowsResult && tree == windowsTree) {
    ADD_FAILURE() << call << ": " << SideName(side) << " now does what Windows does; drop the mark (" << known->why
                  << ")";
  }
}

std::string CaseName(const testing::TestParamInfo<Case>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Shared, FileSystemCase, testing::ValuesIn(kCases), CaseName);

}  // namespace

const char* SideName(Side side) {
  switch (side) {
    case Side::kModel: return "the headless model";
    case Side::kWine: return "Wine";
    case Side::kWindows: return "Windows";
  }
  return "?";
}

}  // namespace fscases
