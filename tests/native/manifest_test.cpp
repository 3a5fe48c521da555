// Reading setup.inf: the line reader, the entry split, the count line, the
// directives, the total size and every way a load can fail.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/install_state.h"
#include "engine/manifest.h"
#include "platform/headless/headless.h"

namespace {

const char kSentinel[] = "left by an earlier run";

void WriteManifest(const std::string& text) { hl::AddFile("C:\\MEDIA\\setup.inf", text); }

int Load() {
  std::strcpy(g_installState.errorText, kSentinel);
  return LoadManifest();
}

// Every reader the load opened was closed again.
void ExpectAllFilesClosed() { EXPECT_EQ(hl::OpenFileCount(), 0) << hl::DumpCalls(); }

std::vector<std::string> ReadAll(const std::string& text) {
  ManifestStream stream(text.data(), text.size());
  std::vector<std::string> lines;
  char buf[128];
  while (ReadManifestLine(stream, buf)) lines.push_back(buf);
  return lines;
}

// Every test starts from FreshStart (the test main): a process-fresh record
// on a fresh machine.
class ManifestTest : public ::testing::Test {};

// ---- The line reader, fed from memory ---------------------------------------------

struct LineCase {
  const char* name;
  std::string text;
  std::vector<std::string> lines;
};

TEST(ReadManifestLineTest, SplitsAndCutsLines) {
  const std::string s125(125, 'a'), s126(126, 'b'), s127(127, 'c'), s200(200, 'd');
  const LineCase cases[] = {
      {"LF ends", "one\ntwo\n", {"one", "two"}},
      {"CR LF ends", "one\r\ntwo\r\n", {"one", "two"}},
      {"last line without end", "one\ntwo", {"one", "two"}},
      {"empty file", "", {}},
      {"empty lines", "\n\r\n\n", {"", "", ""}},
      {"text after a CR is dropped", "keep\rdrop\nnext\n", {"keep", "next"}},
      {"lone CR without LF", "a\rb", {"a"}},
      {"127 characters, then its LF alone", s127 + "\nx\n", {s127, "", "x"}},
      {"126 characters with CR LF: the LF alone follows", s126 + "\r\n", {s126, ""}},
      {"125 characters with CR LF fit in one read", s125 + "\r\n", {s125}},
      {"200 characters arrive as 127 and 73", s200 + "\n", {std::string(127, 'd'), std::string(73, 'd')}},
      {"tab and other bytes are kept", "a\tb\x01\xff\n", {"a\tb\x01\xff"}},
  };
  for (const LineCase& c : cases) {
    EXPECT_EQ(ReadAll(c.text), c.lines) << c.name;
  }
}

TEST(ReadManifestLineTest, RawLineKeepsItsEndAndStopsAt127) {
  const std::string text = std::string(130, 'x') + "\r\n";
  ManifestStream stream(text.data(), text.size());
  char buf[128];
  ASSERT_NE(stream.ReadRawLine(buf), nullptr);
  EXPECT_EQ(std::strlen(buf), 127u);
  ASSERT_NE(stream.ReadRawLine(buf), nullptr);
  EXPECT_STREQ(buf, "xxx\r\n");
  EXPECT_EQ(stream.ReadRawLine(buf), nullptr);
  EXPECT_FALSE(stream.Failed());
}

TEST(ReadManifestLineTest, LinesAcrossTheReadBufferArriveWhole) {
  // More than one 4 KiB refill: every line must come through intact.
  std::string text;
  std::vector<std::string> expected;
  for (int i = 0; i < 2000; ++i) {
    expected.push_back("line" + std::to_string(i));
    text += expected.back() + "\r\n";
  }
  hl::AddFile("C:\\MEDIA\\big.txt", text);
  ManifestStream stream(plat::OpenForRead("big.txt"));
  std::vector<std::string> lines;
  char buf[128];
  while (ReadManifestLine(stream, buf)) lines.push_back(buf);
  EXPECT_EQ(lines, expected);
}

TEST(ReadManifestLineTest, ReadErrorEndsTheStream) {
  hl::AddFile("C:\\MEDIA\\bad.txt", "first\nsecond line that breaks\nthird\n");
  hl::InjectFault({hl::Op::kReadBytes, "C:\\MEDIA\\bad.txt", 0, -1, 10});
  ManifestStream stream(plat::OpenForRead("bad.txt"));
  char buf[128];
  ASSERT_NE(ReadManifestLine(stream, buf), nullptr);
  EXPECT_STREQ(buf, "first");
  // A partly read line is spoiled like fgets spoils it, and the error sticks.
  EXPECT_EQ(ReadManifestLine(stream, buf), nullptr);
  EXPECT_TRUE(stream.Failed());
  EXPECT_EQ(ReadManifestLine(stream, buf), nullptr);
}

// ---- Whole manifests ----------------------------------------------------------------

// The parameter: the line end.
class ExampleTest : public ManifestTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ExampleTest, LoadsTheSameWithEitherLineEnd) {
  const char* eol = GetParam();
  hl::AddFile("C:\\MEDIA\\app.exe", std::string(1000, 'A'));
  hl::AddFile("C:\\MEDIA\\notes.txt", std::string(234, 'N'));
  const std::string e = eol;
  WriteManifest("2" + e + "app.exe Application" + e + "notes.txt Release Notes" + e + ".readme notes.txt" + e +
                ".directx" + e);

  ASSERT_EQ(Load(), 1);
  const InstallState& st = g_installState;
  EXPECT_EQ(st.fileCount, 2);
  EXPECT_EQ(st.shortcutCount, 2);
  EXPECT_STREQ(st.entries[0].fileName, "app.exe");
  EXPECT_STREQ(st.entries[0].shortcutName, "Application");
  EXPECT_STREQ(st.entries[1].fileName, "notes.txt");
  EXPECT_STREQ(st.entries[1].shortcutName, "Release Notes");
  EXPECT_EQ(st.totalBytes, 1234u);
  EXPECT_STREQ(st.readmeName, "notes.txt");
  EXPECT_EQ(st.directXFlag, 1);
  EXPECT_STREQ(st.errorText, kSentinel);
  ExpectAllFilesClosed();
}
INSTANTIATE_TEST_SUITE_P(Manifest, ExampleTest, ::testing::Values("\n", "\r\n"));

struct EntryCase {
  const char* name;
  std::string line;       // the one entry line
  std::string fileName;   // expected row
  std::string shortcutName;
  int shortcuts;          // expected shortcutCount
};

const EntryCase kEntryLinesSplitOnTheFirstSpaceOnlyCases[] = {
    {"one space", "app.exe Application", "app.exe", "Application", 1},
    {"several words", "app.exe My Fine App", "app.exe", "My Fine App", 1},
    {"two spaces keep one in the name", "app.exe  Application", "app.exe", " Application", 1},
    {"leading spaces skipped", "   app.exe Application", "app.exe", "Application", 1},
    {"no space: empty shortcut name", "app.exe", "app.exe", "", 1},
    {"trailing space: empty shortcut name", "app.exe ", "app.exe", "", 1},
    {"a directive among entries is an entry", ".readme app.exe", ".readme", "app.exe", 1},
    {"a 127-character line fills both names", "app.exe " + std::string(119, 's'), "app.exe",
     std::string(119, 's'), 1},
};
class EntryLinesSplitOnTheFirstSpaceOnlyTest : public ManifestTest, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(EntryLinesSplitOnTheFirstSpaceOnlyTest, Case) {
  const EntryCase& c = GetParam();
  SCOPED_TRACE(c.name);
  hl::AddFile("C:\\MEDIA\\" + c.fileName, "12345");
  WriteManifest("1\r\n" + c.line + "\r\n");
  ASSERT_EQ(Load(), 1) << g_installState.errorText;
  EXPECT_EQ(g_installState.fileCount, 1);
  EXPECT_EQ(std::string(g_installState.entries[0].fileName), c.fileName);
  EXPECT_EQ(std::string(g_installState.entries[0].shortcutName), c.shortcutName);
  EXPECT_EQ(g_installState.shortcutCount, c.shortcuts);
  EXPECT_EQ(g_installState.totalBytes, 5u);
}
INSTANTIATE_TEST_SUITE_P(Manifest, EntryLinesSplitOnTheFirstSpaceOnlyTest, ::testing::ValuesIn(kEntryLinesSplitOnTheFirstSpaceOnlyCases));

// Lines that name no usable file stop the load with the one message, formed
// with exactly what the manifest said.
struct UnopenableEntriesNameTheFileCase {
  const char* name;
  std::string manifest;
  std::string reported;
};
const UnopenableEntriesNameTheFileCase kUnopenableEntriesNameTheFileCases[] = {
    {"missing file", "2\nhere.txt\ngone.txt Gone\n", "gone.txt"},
    {"empty line", "2\nhere.txt\n\nhere.txt\n", ""},
    {"line of spaces", "1\n   \n", "   "},
    {"127 characters then the LF alone", "2\nhere.txt " + std::string(118, 's') + "\nhere.txt\n", ""},
    {"CR LF after 126 characters", "2\r\nhere.txt " + std::string(117, 's') + "\r\nhere.txt\r\n", ""},
    {"200 characters read as two lines", "2\nhere.txt " + std::string(191, 's') + "\n",
     std::string(73, 's')},
};
class UnopenableEntriesNameTheFileTest : public ManifestTest, public ::testing::WithParamInterface<UnopenableEntriesNameTheFileCase> {};

TEST_P(UnopenableEntriesNameTheFileTest, Case) {
  const UnopenableEntriesNameTheFileCase& c = GetParam();
  SCOPED_TRACE(c.name);
  hl::AddFile("C:\\MEDIA\\here.txt", "x");
  WriteManifest(c.manifest);
  EXPECT_EQ(Load(), 0);
  EXPECT_EQ(std::string(g_installState.errorText), "I can't find the installation file '" + c.reported + "'");
  ExpectAllFilesClosed();
}
INSTANTIATE_TEST_SUITE_P(Manifest, UnopenableEntriesNameTheFileTest, ::testing::ValuesIn(kUnopenableEntriesNameTheFileCases));

TEST_F(ManifestTest, ATabIsPartOfTheNameAndNoNameHoldsOne) {
  // No file name can hold a tab, so the entry is refused by its name, before
  // any file is opened for it.
  hl::AddFile("C:\\MEDIA\\here.txt", "x");
  WriteManifest("1\nhere.txt\tHere\n");
  hl::ClearCalls();
  EXPECT_EQ(Load(), 0);
  EXPECT_EQ(std::string(g_installState.errorText),
            "I can't install 'here.txt\tHere' from the installation file: it holds a character Windows does not "
            "allow in names.");
  EXPECT_EQ(hl::CallsOf(hl::Op::kOpenForRead).size(), 1u);  // the manifest only
}

TEST_F(ManifestTest, BlankEntryLineDoesNotCountAShortcut) {
  hl::AddFile("C:\\MEDIA\\a.txt", "x");
  WriteManifest("2\na.txt A\n\n");
  EXPECT_EQ(Load(), 0);
  EXPECT_EQ(g_installState.shortcutCount, 1);
}

TEST_F(ManifestTest, UnreadableFileIsReportedLikeAMissingOne) {
  hl::AddFile("C:\\MEDIA\\locked.dat", "x");
  hl::SetUnreadable("C:\\MEDIA\\locked.dat");
  WriteManifest("1\nlocked.dat Locked\n");
  EXPECT_EQ(Load(), 0);
  EXPECT_STREQ(g_installState.errorText, "I can't find the installation file 'locked.dat'");
  ExpectAllFilesClosed();
}

struct CountCase {
  const char* name;
  std::string manifest;
  int result;
  int fileCount;  // checked on success
};

const CountCase kCountLineCases[] = {
    {"zero: empty table", "0\n", 1, 0},
    {"number followed by text", "1abc\na.txt A\n", 1, 1},
    {"white space and plus sign", " \t+1\r\na.txt A\r\n", 1, 1},
    {"no number counts 0", "abc\na.txt A\n", 1, 0},
    {"empty count line counts 0", "\na.txt A\n", 1, 0},
    {"count without line end", "0", 1, 0},
    {"count above the lines", "3\na.txt A\na.txt B\n", 0, 0},
    {"negative count", "-1\n", 0, 0},
    {"empty manifest", "", 0, 0},
    {"largest 32-bit count", "2147483647\na.txt A\n", 0, 0},
    {"out of range is held at the top", "99999999999999999999\na.txt A\n", 0, 0},
    {"out of range negative", "-99999999999999999999\n", 0, 0},
    {"just over a 2 GiB table", "8388608\na.txt A\n", 0, 0},
};
class CountLineTest : public ManifestTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(CountLineTest, Case) {
  const CountCase& c = GetParam();
  SCOPED_TRACE(c.name);
  hl::AddFile("C:\\MEDIA\\a.txt", "abc");
  WriteManifest(c.manifest);
  ASSERT_EQ(Load(), c.result);
  EXPECT_STREQ(g_installState.errorText, kSentinel);
  if (c.result == 1) {
    EXPECT_EQ(g_installState.fileCount, c.fileCount);
    EXPECT_EQ(g_installState.shortcutCount, c.fileCount);
    EXPECT_EQ(g_installState.totalBytes, c.fileCount * 3u);
  }
  ExpectAllFilesClosed();
}
INSTANTIATE_TEST_SUITE_P(Manifest, CountLineTest, ::testing::ValuesIn(kCountLineCases));

TEST_F(ManifestTest, NoCountMakesEveryLineADirective) {
  WriteManifest("files follow\n.readme read.me\n.directx\n");
  ASSERT_EQ(Load(), 1);
  EXPECT_EQ(g_installState.fileCount, 0);
  EXPECT_STREQ(g_installState.readmeName, "read.me");
  EXPECT_EQ(g_installState.directXFlag, 1);
}

TEST_F(ManifestTest, MissingManifestLeavesTheTextAsItWas) {
  EXPECT_EQ(Load(), 0);
  EXPECT_STREQ(g_installState.errorText, kSentinel);
  hl::InjectFault({hl::Op::kOpenForRead, "C:\\MEDIA\\setup.inf"});
  WriteManifest("0\n");
  EXPECT_EQ(Load(), 0);
  EXPECT_STREQ(g_installState.errorText, kSentinel);
}

struct DirectivesCase {
  const char* name;
  std::string lines;
  std::string readme;
  int directX;
};
const DirectivesCase kDirectivesCases[] = {
    {"readme and directx", ".readme read me.txt\n.directx\n", "read me.txt", 1},
    {"later readme wins", ".readme first\n.readme second\n", "second", 0},
    {"readme without its space is ignored", ".readme\n", "", 0},
    {"other letter case is ignored", ".README x\n.DirectX\n", "", 0},
    {"text after .directx is ignored", ".directx please\n", "", 1},
    {"short line matches nothing", ".dx\n\n", "", 0},
    {"leading space matches nothing", " .readme x\n", "", 0},
    {"CR LF ends are cut", ".readme x.txt\r\n", "x.txt", 0},
    {"last line without end", ".readme tail", "tail", 0},
};
class DirectivesTest : public ManifestTest, public ::testing::WithParamInterface<DirectivesCase> {};

TEST_P(DirectivesTest, Case) {
  const DirectivesCase& c = GetParam();
  SCOPED_TRACE(c.name);
  WriteManifest("0\n" + c.lines);
  ASSERT_EQ(Load(), 1);
  EXPECT_EQ(std::string(g_installState.readmeName), c.readme);
  EXPECT_EQ(g_installState.directXFlag, c.directX);
}
INSTANTIATE_TEST_SUITE_P(Manifest, DirectivesTest, ::testing::ValuesIn(kDirectivesCases));

TEST_F(ManifestTest, ReadmeAndDirectXSurviveLaterLoads) {
  hl::AddFile("C:\\MEDIA\\a.txt", "12");
  WriteManifest("1\na.txt A\n.readme a.txt\n.directx\n");
  ASSERT_EQ(Load(), 1);

  WriteManifest("1\na.txt A\n");
  ASSERT_EQ(Load(), 1);
  EXPECT_STREQ(g_installState.readmeName, "a.txt");
  EXPECT_EQ(g_installState.directXFlag, 1);

  // An empty .readme line clears the name; the flag is never cleared.
  WriteManifest("0\n.readme \n");
  ASSERT_EQ(Load(), 1);
  EXPECT_STREQ(g_installState.readmeName, "");
  EXPECT_EQ(g_installState.directXFlag, 1);
}

TEST_F(ManifestTest, ReloadStartsTheCountsAfresh) {
  hl::AddFile("C:\\MEDIA\\a.txt", "12");
  WriteManifest("2\na.txt A\na.txt B\n");
  ASSERT_EQ(Load(), 1);
  EXPECT_EQ(g_installState.totalBytes, 4u);
  WriteManifest("1\na.txt\n");
  ASSERT_EQ(Load(), 1);
  EXPECT_EQ(g_installState.fileCount, 1);
  EXPECT_EQ(g_installState.shortcutCount, 1);
  EXPECT_EQ(g_installState.totalBytes, 2u);
}

TEST_F(ManifestTest, TotalOfFilesOver4GiBIsExact) {
  const uint64_t kGiB = uint64_t{1} << 30;
  hl::AddSizedFile("C:\\MEDIA\\disc1.cab", 5 * kGiB);
  hl::AddSizedFile("C:\\MEDIA\\disc2.cab", 3 * kGiB + 7);
  WriteManifest("2\ndisc1.cab One\ndisc2.cab Two\n");
  ASSERT_EQ(Load(), 1);
  EXPECT_EQ(g_installState.totalBytes, 8 * kGiB + 7);
}

// Fails inside the entry lines, and inside the directives: a lost ".directx"
// would be a silent change of behaviour, so it fails too. The parameter: the
// bytes read before the error.
class ReadErrorTest : public ManifestTest, public ::testing::WithParamInterface<int64_t> {};

TEST_P(ReadErrorTest, FailsTheLoadWherever) {
  const std::string manifest = "1\na.txt A\n.readme a.txt\n.directx\n";
  const int64_t after = GetParam();
  hl::AddFile("C:\\MEDIA\\a.txt", "12");
  WriteManifest(manifest);
  hl::InjectFault({hl::Op::kReadBytes, "C:\\MEDIA\\setup.inf", 0, -1, after});
  EXPECT_EQ(Load(), 0);
  EXPECT_STREQ(g_installState.errorText, kSentinel);
  ExpectAllFilesClosed();
}
INSTANTIATE_TEST_SUITE_P(Manifest, ReadErrorTest, ::testing::Values(int64_t{4}, int64_t{14}));

}  // namespace

TEST_F(ManifestTest, ByteOrderMarks) {
  // Editors add a UTF-8 mark; read as text it would hide the count and the
  // run would "complete" with nothing installed. UTF-16 cannot be read at all.
  hl::AddFile("C:\\MEDIA\\a.txt", "x");
  WriteManifest("\xEF\xBB\xBF" "1\r\na.txt A\r\n.readme a.txt\r\n");
  EXPECT_EQ(Load(), 1);
  EXPECT_EQ(g_installState.fileCount, 1);
  EXPECT_STREQ(g_installState.entries[0].fileName, "a.txt");
  EXPECT_STREQ(g_installState.readmeName, "a.txt");

  for (const char* mark : {"\xFF\xFE", "\xFE\xFF"}) {
    WriteManifest(std::string(mark) + std::string("1\0\r\0\n\0", 6));
    EXPECT_EQ(Load(), 0);
    EXPECT_STREQ(g_installState.errorText, kSentinel);
    ExpectAllFilesClosed();
  }
}

TEST_F(ManifestTest, LongListKeepsTheWindowsPainted) {
  // Measuring tens of thousands of files takes seconds; the dialog must not
  // be marked as not responding meanwhile.
  hl::AddFile("C:\\MEDIA\\a.txt", "x");
  std::string manifest = "1000\r\n";
  for (int i = 0; i < 1000; ++i) manifest += "a.txt A\r\n";
  WriteManifest(manifest);
  EXPECT_EQ(Load(), 1);
  int opensSincePaint = 0, longestStretch = 0;
  for (const hl::Call& call : hl::Calls()) {
    if (call.op == hl::Op::kPumpPaint) opensSincePaint = 0;
    if (call.op == hl::Op::kOpenForRead && ++opensSincePaint > longestStretch) longestStretch = opensSincePaint;
  }
  EXPECT_LE(longestStretch, 65);
}
