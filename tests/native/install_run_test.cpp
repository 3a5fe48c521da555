// The whole install run on the headless machine: results, messages, clean-up,
// the progress protocol, and the mended size, space, path and copy faults.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/install_run.h"
#include "engine/install_state.h"
#include "platform/headless/headless.h"

namespace {

const char kInstallDir[] = "C:\\Program Files\\Brackenvue";
const char kPrograms[] = "C:\\Users\\user\\Start Menu\\Programs";
const char kProgramFolder[] = "C:\\Users\\user\\Start Menu\\Programs\\Brackenvue";
constexpr uint64_t kGiB = uint64_t{1} << 30;

std::string InInstallDir(const std::string& name) { return std::string(kInstallDir) + "\\" + name; }
std::string InProgramFolder(const std::string& name) { return std::string(kProgramFolder) + "\\" + name; }

struct File {
  std::string name, content, shortcut;
};

// Puts the files on the medium and lists them in setup.inf, one entry each.
void WriteMedium(const std::vector<File>& files, const std::string& directives = "") {
  std::string manifest = std::to_string(files.size()) + "\r\n";
  for (const File& f : files) {
    hl::AddFile("C:\\MEDIA\\" + f.name, f.content);
    manifest += f.name + " " + f.shortcut + "\r\n";
  }
  hl::AddFile("C:\\MEDIA\\setup.inf", manifest + directives);
}

const std::vector<File> kTwoFiles = {{"app.exe", "program bytes", "Brackenvue"}, {"notes.txt", "notes", "Notes"}};
const std::vector<File> kFiveFiles = {
    {"a.txt", "aaaa", "A"}, {"b.txt", "bbbb", "B"}, {"c.txt", "cccc", "C"}, {"d.txt", "dddd", "D"}, {"e.txt", "eeee", "E"}};

// The run's dealings with the progress window, in order. Only the dialog's
// own destruction is kept: its controls go with it.
std::vector<std::string> Protocol() {
  std::vector<std::string> steps;
  for (const hl::Call& call : hl::Calls()) {
    switch (call.op) {
      case hl::Op::kCreateDialog:
        steps.push_back("create " + call.arg1);
        break;
      case hl::Op::kShowWindow:
        steps.push_back("show " + call.arg1 + " " + call.arg2);
        break;
      case hl::Op::kSendMessage:
        steps.push_back("send " + call.arg1 + " " + call.arg2);
        break;
      case hl::Op::kSetText:
        steps.push_back("text " + call.arg1 + " " + call.arg2);
        break;
      case hl::Op::kDestroyWindow:
        if (call.arg1.rfind("dlg", 0) == 0) steps.push_back("destroy " + call.arg1);
        break;
      default:
        break;
    }
  }
  return steps;
}

std::string Range(unsigned high) { return "send ctl1004 0x401 0 " + std::to_string((high & 0xFFFFu) << 16); }
std::string Pos(unsigned pos) { return "send ctl1004 0x402 " + std::to_string(pos) + " 0"; }
const char kCopying[] = "text ctl1005 Copying files...";
const char kLinking[] = "text ctl1005 Creating shortcuts...";
const std::vector<std::string> kOpening = {"create dlg129", "show dlg129 5"};

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Every progress window the run made is gone.
void ExpectNoWindowLeft() {
  for (hl::Window* w : hl::AllWindows()) EXPECT_TRUE(w->destroyed) << "window " << w->id;
}

// Every test starts from FreshStart (the test main); the fixture adds the
// two paths the Install command would have set.
class RunInstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::strcpy(st.installDir, kInstallDir);
    std::strcpy(st.programFolder, kProgramFolder);
  }
  std::string Error() const { return st.errorText; }

  InstallState& st = g_installState;
};

TEST_F(RunInstallTest, CompleteRunCopiesLinksAndDrivesTheProgressWindow) {
  WriteMedium(kTwoFiles, ".readme notes.txt\r\n");
  hl::AddFile(InInstallDir("app.exe"), "an older version");  // overwritten
  std::strcpy(st.errorText, "from the last run");

  ASSERT_EQ(RunInstall(), 1) << Error();
  EXPECT_EQ(Error(), "");
  EXPECT_EQ(hl::ReadContent(InInstallDir("app.exe")), "program bytes");
  EXPECT_EQ(hl::ReadContent(InInstallDir("notes.txt")), "notes");
  const struct {
    std::string link, target;
  } links[] = {{InProgramFolder("Brackenvue.lnk"), InInstallDir("app.exe")},
               {InProgramFolder("Notes.lnk"), InInstallDir("notes.txt")}};
  for (const auto& l : links) {
    std::optional<hl::LinkRecord> record = hl::ReadLink(l.link);
    ASSERT_TRUE(record) << l.link;
    EXPECT_EQ(record->target, l.target);
    EXPECT_EQ(record->description, "Brackenvue");
    EXPECT_EQ(record->workingDirectory, kInstallDir);
  }
  EXPECT_EQ(Protocol(), Concat(kOpening, {Range(4), kCopying, Pos(1), Pos(2), kLinking, Pos(3), Pos(4),
                                          "destroy dlg129"}));
  ExpectNoWindowLeft();
  EXPECT_EQ(hl::OpenFileCount(), 0);
  EXPECT_EQ(hl::LiveComObjectCount(), 0);
}

TEST_F(RunInstallTest, EmptyManifestMakesTheDirectoriesAndShowsBothTexts) {
  WriteMedium({});
  ASSERT_EQ(RunInstall(), 1) << Error();
  EXPECT_TRUE(hl::IsDir(kInstallDir));
  EXPECT_TRUE(hl::IsDir(kProgramFolder));
  EXPECT_EQ(Protocol(), Concat(kOpening, {Range(0), kCopying, kLinking, "destroy dlg129"}));
  EXPECT_TRUE(hl::CallsOf(hl::Op::kCopyFile).empty());
  EXPECT_TRUE(hl::CallsOf(hl::Op::kCreateShellLink).empty());
}

struct FailureCase {
  const char* name;
  std::function<void()> arrange;
  int result;
  std::string message;
  bool windowMade;
  std::function<void()> check;  // what must (not) be on the disk afterwards
};

const std::string kBDest = InInstallDir("b.txt");

       // The empty installation directory goes again; its parent made by
       // the same run stays.
const FailureCase kEveryFailureHasItsResultMessageAndCleanUpCases[] = {
    {"no manifest", [] {}, -1, "I couldn't read the installation file.", false,
     [] { EXPECT_FALSE(hl::Exists(kInstallDir)); }},
    {"manifest ends early",
     [] { hl::AddFile("C:\\MEDIA\\setup.inf", "3\r\n"); }, -1, "I couldn't read the installation file.", false,
     [] {}},
    {"count too large for memory",
     [] { hl::AddFile("C:\\MEDIA\\setup.inf", "2147483647\r\na.txt A\r\n"); }, -1,
     "I couldn't read the installation file.", false, [] {}},
    {"listed file missing at load",
     [] {
       WriteMedium(kFiveFiles);
       hl::AddFile("C:\\MEDIA\\setup.inf", "2\r\na.txt A\r\nz.txt Z\r\n");
     },
     -1, "I can't find the installation file 'z.txt'", false, [] { EXPECT_FALSE(hl::Exists(kInstallDir)); }},
    {"not enough space",
     [] {
       WriteMedium(kFiveFiles);
       hl::SetFreeBytes(39);  // twice the 20 bytes, less one
     },
     0, "There is not enough space on the destination disk.\nPlease choose another location.", false,
     [] { EXPECT_FALSE(hl::Exists(kInstallDir)); }},
    {"installation directory cannot be made",
     [] {
       WriteMedium(kFiveFiles);
       hl::InjectFault({hl::Op::kCreateDir, kInstallDir});
     },
     0, "I couldn't create the program directory:\nC:\\Program Files\\Brackenvue\n", false,
     [] { EXPECT_FALSE(hl::Exists(kProgramFolder)); }},
    {"program folder cannot be made",
     [] {
       WriteMedium(kFiveFiles);
       hl::InjectFault({hl::Op::kCreateDir, kProgramFolder});
     },
     0, "I couldn't create the shortcut folder.", false,
     [] {
       EXPECT_FALSE(hl::Exists(kInstallDir));
       EXPECT_TRUE(hl::IsDir("C:\\Program Files"));
     }},
    {"listed file gone at copy time",
     [] {
       WriteMedium(kFiveFiles);
       hl::InjectFault({hl::Op::kGetFileAttribs, "C:\\MEDIA\\b.txt"});
     },
     -1, "I couldn't find the file 'b.txt.'", true,
     [] {
       EXPECT_TRUE(hl::IsFile(InInstallDir("a.txt")));
       EXPECT_FALSE(hl::Exists(kBDest));
     }},
    {"copy fails",
     [] {
       WriteMedium(kFiveFiles);
       hl::InjectFault({hl::Op::kCopyFile, "C:\\MEDIA\\b.txt"});
     },
     0, "I couldn't copy b.txt to C:\\Program Files\\Brackenvue\\b.txt.", true,
     [] {
       EXPECT_TRUE(hl::IsFile(InInstallDir("a.txt")));
       EXPECT_FALSE(hl::Exists(kBDest));
     }},
    {"copy fails part-way: the partial file is removed",
     [] {
       WriteMedium(kFiveFiles);
       hl::Fault fault{hl::Op::kCopyFile, "C:\\MEDIA\\b.txt"};
       fault.partialBytes = 2;
       hl::InjectFault(fault);
     },
     0, "I couldn't copy b.txt to C:\\Program Files\\Brackenvue\\b.txt.", true,
     [] {
       EXPECT_FALSE(hl::Exists(kBDest));
       EXPECT_EQ(hl::CallsOf(hl::Op::kDeleteFile).size(), 1u);
     }},
    {"a link cannot be written: the run goes on",
     [] {
       WriteMedium(kFiveFiles);
       hl::InjectFault({hl::Op::kPersistFileSave, "", 1});
     },
     1, "I couldn't create the link:\nC:\\Users\\user\\Start Menu\\Programs\\Brackenvue\\B.lnk", true,
     [] {
       EXPECT_FALSE(hl::Exists(InProgramFolder("B.lnk")));
       EXPECT_TRUE(hl::ReadLink(InProgramFolder("E.lnk")));
       EXPECT_TRUE(hl::IsFile(InInstallDir("e.txt")));
     }},
};
class EveryFailureHasItsResultMessageAndCleanUpTest : public RunInstallTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(EveryFailureHasItsResultMessageAndCleanUpTest, Case) {
  const FailureCase& c = GetParam();
  SCOPED_TRACE(c.name);
  c.arrange();
  EXPECT_EQ(RunInstall(), c.result);
  EXPECT_EQ(Error(), c.message);
  EXPECT_EQ(hl::LastDialog(129) != nullptr, c.windowMade);
  ExpectNoWindowLeft();
  EXPECT_EQ(hl::OpenFileCount(), 0);
  EXPECT_EQ(hl::LiveComObjectCount(), 0);
  c.check();
}
INSTANTIATE_TEST_SUITE_P(RunInstall, EveryFailureHasItsResultMessageAndCleanUpTest, ::testing::ValuesIn(kEveryFailureHasItsResultMessageAndCleanUpCases));

TEST_F(RunInstallTest, CopyFailingAtTheThirdFileLeavesTheBarAtTwo) {
  WriteMedium(kFiveFiles);
  hl::InjectFault({hl::Op::kCopyFile, "C:\\MEDIA\\c.txt"});
  ASSERT_EQ(RunInstall(), 0);
  EXPECT_EQ(Protocol(), Concat(kOpening, {Range(10), kCopying, Pos(1), Pos(2), "destroy dlg129"}));
  EXPECT_TRUE(hl::IsFile(InInstallDir("a.txt")));
  EXPECT_TRUE(hl::IsFile(InInstallDir("b.txt")));
  EXPECT_FALSE(hl::Exists(InInstallDir("c.txt")));

  // Pressing Install again copies all five anew in a fresh window.
  hl::ClearCalls();
  ASSERT_EQ(RunInstall(), 1) << Error();
  for (const File& f : kFiveFiles) EXPECT_EQ(hl::ReadContent(InInstallDir(f.name)), f.content);
  std::vector<std::string> protocol = Protocol();
  ASSERT_FALSE(protocol.empty());
  EXPECT_EQ(protocol.back(), "destroy dlg129");
  EXPECT_EQ(protocol[protocol.size() - 2], Pos(10));
  EXPECT_EQ(hl::AllWindows().size(), 2 * 3u);  // each run: the dialog and its two controls
}

TEST_F(RunInstallTest, FailedLinksDoNotStopTheBarAndTheLastMessageStays) {
  WriteMedium(kFiveFiles);
  hl::InjectFault({hl::Op::kPersistFileSave, "", 1, 1, static_cast<int64_t>(0x80070005u)});
  hl::InjectFault({hl::Op::kPersistFileSave, "", 3, 1, static_cast<int64_t>(0x80070005u)});
  ASSERT_EQ(RunInstall(), 1);
  EXPECT_EQ(Error(), "I couldn't create the link:\n" + InProgramFolder("D.lnk"));
  std::vector<std::string> expected = Concat(kOpening, {Range(10), kCopying});
  for (unsigned i = 1; i <= 10; ++i) {
    if (i == 6) expected.push_back(kLinking);
    expected.push_back(Pos(i));
  }
  expected.push_back("destroy dlg129");
  EXPECT_EQ(Protocol(), expected);
}

TEST_F(RunInstallTest, EmptyShortcutNameGivesADotLnkFile) {
  hl::AddFile("C:\\MEDIA\\a.txt", "a");
  hl::AddFile("C:\\MEDIA\\setup.inf", "1\r\na.txt\r\n");
  ASSERT_EQ(RunInstall(), 1) << Error();
  std::optional<hl::LinkRecord> record = hl::ReadLink(InProgramFolder(".lnk"));
  ASSERT_TRUE(record);
  EXPECT_EQ(record->target, InInstallDir("a.txt"));
}

TEST_F(RunInstallTest, RangeKeepsSixteenBitsOnALargeManifest) {
  // 70,000 entries naming the same small file: the range end is 140,000
  // modulo 65,536, while the positions count on to 140,000.
  const int kEntries = 70000;
  hl::AddFile("C:\\MEDIA\\a.txt", "a");
  std::string manifest = std::to_string(kEntries) + "\r\n";
  manifest.reserve(manifest.size() + kEntries * 10);
  for (int i = 0; i < kEntries; ++i) manifest += "a.txt A\r\n";
  hl::AddFile("C:\\MEDIA\\setup.inf", manifest);

  ASSERT_EQ(RunInstall(), 1) << Error();
  EXPECT_EQ(st.totalBytes, static_cast<uint64_t>(kEntries));
  const std::vector<hl::Message>& sent = hl::Child(hl::LastDialog(129), 1004)->sent;
  ASSERT_EQ(sent.size(), 1u + 2 * kEntries);
  EXPECT_EQ(sent.front().msg, 0x401u);
  EXPECT_EQ(sent.front().lParam, static_cast<intptr_t>((140000u & 0xFFFFu) << 16));
  EXPECT_EQ(sent.back().msg, 0x402u);
  EXPECT_EQ(sent.back().wParam, 140000u);
  ExpectNoWindowLeft();
}

// ---- Free space -----------------------------------------------------------------------

struct SpaceCheckIsDoneIn64BitsCase {
  const char* name;
  uint64_t medium;  // one file of this size
  std::optional<uint64_t> free;
  int result;
};
const SpaceCheckIsDoneIn64BitsCase kSpaceCheckIsDoneIn64BitsCases[] = {
    {"exactly 100 GiB free", 1000, 100 * kGiB, 1},
    {"exactly twice the total", 1000, 2000, 1},
    {"one byte less", 1000, 1999, 0},
    {"3 GiB medium, 5 GiB free: twice the total does not wrap", 3 * kGiB, 5 * kGiB, 0},
    {"3 GiB medium, 6 GiB free", 3 * kGiB, 6 * kGiB, 1},
    {"no figure at all: the run goes on", 1000, std::nullopt, 1},
};
class SpaceCheckIsDoneIn64BitsTest : public RunInstallTest, public ::testing::WithParamInterface<SpaceCheckIsDoneIn64BitsCase> {};

TEST_P(SpaceCheckIsDoneIn64BitsTest, Case) {
  const SpaceCheckIsDoneIn64BitsCase& c = GetParam();
  SCOPED_TRACE(c.name);
  hl::AddSizedFile("C:\\MEDIA\\data.cab", c.medium);
  hl::AddFile("C:\\MEDIA\\setup.inf", "1\r\ndata.cab Data\r\n");
  hl::SetFreeBytes(c.free);
  EXPECT_EQ(RunInstall(), c.result) << Error();
  EXPECT_EQ(st.totalBytes, c.medium);
  EXPECT_EQ(hl::IsFile(InInstallDir("data.cab")), c.result == 1);
}
INSTANTIATE_TEST_SUITE_P(RunInstall, SpaceCheckIsDoneIn64BitsTest, ::testing::ValuesIn(kSpaceCheckIsDoneIn64BitsCases));

class GetFreeDiskSpaceTest : public ::testing::Test {};

struct AsksTheNearestExistingDirectoryCase {
  const char* name;
  std::vector<std::string> dirs;
  const char* path;
  const char* asked;  // nullptr: no figure can be had
};
const AsksTheNearestExistingDirectoryCase kAsksTheNearestExistingDirectoryCases[] = {
    {"directory there", {"C:\\Program Files\\Brackenvue"}, "C:\\Program Files\\Brackenvue",
     "C:\\Program Files\\Brackenvue"},
    {"parent there", {"C:\\Program Files"}, "C:\\Program Files\\Brackenvue", "C:\\Program Files"},
    {"only the root", {}, "C:\\Program Files\\Brackenvue\\Deep", "C:\\"},
    {"trailing backslash", {"C:\\Apps"}, "C:\\Apps\\New\\", "C:\\Apps"},
    {"a file in the way is passed over", {}, "C:\\MEDIA\\setup.inf\\X", "C:\\MEDIA"},
    {"rooted on the current drive", {}, "\\Games\\Brackenvue", "\\"},
    {"relative, first component there", {"C:\\MEDIA\\sub"}, "sub\\new", "sub"},
    {"drive letter only", {}, "C:", "C:"},
    {"missing drive", {}, "Q:\\Apps\\Brackenvue", nullptr},
    {"relative, nothing there", {}, "nothing\\here", nullptr},
    {"a network path's share is never walked past", {}, "\\\\server\\share\\Games", nullptr},
};
class AsksTheNearestExistingDirectoryTest : public GetFreeDiskSpaceTest, public ::testing::WithParamInterface<AsksTheNearestExistingDirectoryCase> {};

TEST_P(AsksTheNearestExistingDirectoryTest, Case) {
  const AsksTheNearestExistingDirectoryCase& c = GetParam();
  SCOPED_TRACE(c.name);
  hl::AddFile("C:\\MEDIA\\setup.inf", "0\r\n");
  for (const std::string& dir : c.dirs) hl::AddDir(dir);
  hl::SetFreeBytes(123 * kGiB);
  hl::ClearCalls();
  uint64_t freeBytes = 7;
  bool got = GetFreeDiskSpace(c.path, &freeBytes);
  std::vector<hl::Call> queries = hl::CallsOf(hl::Op::kGetFreeBytes);
  if (c.asked) {
    EXPECT_TRUE(got);
    EXPECT_EQ(freeBytes, 123 * kGiB);
    ASSERT_EQ(queries.size(), 1u);
    EXPECT_EQ(queries[0].arg1, c.asked);
  } else {
    EXPECT_FALSE(got);
    EXPECT_EQ(freeBytes, 7u);
    EXPECT_TRUE(queries.empty());
  }
}
INSTANTIATE_TEST_SUITE_P(RunInstall, AsksTheNearestExistingDirectoryTest, ::testing::ValuesIn(kAsksTheNearestExistingDirectoryCases));

TEST_F(RunInstallTest, MissingDriveIsReportedByTheDirectoryCreation) {
  WriteMedium(kTwoFiles);
  std::strcpy(st.installDir, "Q:\\Brackenvue");
  EXPECT_EQ(RunInstall(), 0);
  EXPECT_EQ(Error(), "I couldn't create the program directory:\nQ:\\Brackenvue\n");
}

// ---- Paths that do not fit ----------------------------------------------------------------

// installDir + "\" + name must stay within 259 characters.
const std::string kDir250 = "C:\\" + std::string(247, 'i');
const std::string kFolder240 = std::string(kPrograms) + "\\" + std::string(240 - sizeof kPrograms, 'p');

struct PathsThatDoNotFitStopTheRunBeforeAnythingCase {
  const char* name;
  std::string installDir, programFolder;
  std::string message;
};
const PathsThatDoNotFitStopTheRunBeforeAnythingCase kPathsThatDoNotFitStopTheRunBeforeAnythingCases[] = {
    {"destination too long", kDir250, kProgramFolder,
     "The installation directory is too long:\n" + kDir250 + "\nPlease choose a shorter location."},
    {"link too long", kInstallDir, kFolder240,
     "The program folder is too long:\n" + kFolder240 + "\nPlease choose a shorter name."},
};
class PathsThatDoNotFitStopTheRunBeforeAnythingTest : public RunInstallTest, public ::testing::WithParamInterface<PathsThatDoNotFitStopTheRunBeforeAnythingCase> {};

TEST_P(PathsThatDoNotFitStopTheRunBeforeAnythingTest, Case) {
  const PathsThatDoNotFitStopTheRunBeforeAnythingCase& c = GetParam();
  SCOPED_TRACE(c.name);
  // The last entry is the one that does not fit: nothing of the first may
  // be copied either.
  hl::AddFile("C:\\MEDIA\\a.txt", "a");
  hl::AddFile("C:\\MEDIA\\long-name-" + std::string(10, 'n') + ".txt", "b");
  hl::AddFile("C:\\MEDIA\\setup.inf", "2\r\na.txt A\r\nlong-name-" + std::string(10, 'n') + ".txt " +
                                          std::string(20, 's') + "\r\n");
  std::strcpy(st.installDir, c.installDir.c_str());
  std::strcpy(st.programFolder, c.programFolder.c_str());
  const std::vector<std::string> before = hl::ListAll();

  EXPECT_EQ(RunInstall(), 0);
  // Too long for errorText whole: the path is shortened in its middle so
  // that the instruction after it stays.
  const std::string path = c.name[0] == 'd' ? c.installDir : c.programFolder;
  const size_t cut = c.message.find(path);
  const std::string intro = c.message.substr(0, cut + 40);
  const std::string outro = c.message.substr(cut + path.size() - 40);
  ASSERT_GT(c.message.size(), 255u);
  EXPECT_LE(Error().size(), 255u);
  EXPECT_EQ(Error().substr(0, intro.size()), intro);
  EXPECT_EQ(Error().substr(Error().size() - outro.size()), outro);
  EXPECT_EQ(hl::ListAll(), before);
  EXPECT_EQ(hl::LastDialog(129), nullptr);
}
INSTANTIATE_TEST_SUITE_P(RunInstall, PathsThatDoNotFitStopTheRunBeforeAnythingTest, ::testing::ValuesIn(kPathsThatDoNotFitStopTheRunBeforeAnythingCases));

TEST_F(RunInstallTest, LongestPathsThatFitAreUsed) {
  // 259 characters exactly, for the destination and for the link.
  const std::string name = "f.txt";
  const std::string shortcut(100, 's');
  const std::string dir = "C:\\" + std::string(259 - 3 - 1 - name.size(), 'i');
  const std::string folder = std::string(kPrograms) + "\\" + std::string(259 - (sizeof kPrograms - 1) - 2 - shortcut.size() - 4, 'p');
  const std::string link = folder + "\\" + shortcut + ".lnk";
  ASSERT_EQ((dir + "\\" + name).size(), 259u);
  ASSERT_EQ(link.size(), 259u);
  hl::AddDir(dir);  // Windows makes directories of at most 247 characters
  hl::AddFile("C:\\MEDIA\\" + name, "f");
  hl::AddFile("C:\\MEDIA\\setup.inf", "1\r\n" + name + " " + shortcut + "\r\n");
  std::strcpy(st.installDir, dir.c_str());
  std::strcpy(st.programFolder, folder.c_str());

  ASSERT_EQ(RunInstall(), 1) << Error();
  EXPECT_EQ(hl::ReadContent(dir + "\\" + name), "f");
  std::optional<hl::LinkRecord> record = hl::ReadLink(link);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->target, dir + "\\" + name);
  EXPECT_EQ(record->workingDirectory, dir);
}

TEST_F(RunInstallTest, LongMessagesAreCut) {
  // A 259-character installation directory cannot be made (Windows stops at
  // 247); its message is longer than errorText holds.
  hl::AddFile("C:\\MEDIA\\setup.inf", "0\r\n");
  const std::string dir = "C:\\" + std::string(256, 'x');
  std::strcpy(st.installDir, dir.c_str());
  EXPECT_EQ(RunInstall(), 0);
  const std::string full = "I couldn't create the program directory:\n" + dir + "\n";
  EXPECT_EQ(Error(), full.substr(0, 255));
}

}  // namespace

// ---- Where the files and links go -------------------------------------------------------

// Resolved as the file system does, from the medium (C:\MEDIA): links must
// work when started from the Start menu, far from the medium.
struct InstallationDirectoryIsMadeFullForFilesLinksAndStateCase {
  const char* field;
  const char* full;
};
const InstallationDirectoryIsMadeFullForFilesLinksAndStateCase kInstallationDirectoryIsMadeFullForFilesLinksAndStateCases[] = {
    {"foo", "C:\\MEDIA\\foo"},
    {"..\\Games", "C:\\Games"},
    {"C:/Games/Bv", "C:\\Games\\Bv"},
    {"\\Games\\Bv", "C:\\Games\\Bv"},
    {"C:", "C:"},
};
class InstallationDirectoryIsMadeFullForFilesLinksAndStateTest : public RunInstallTest, public ::testing::WithParamInterface<InstallationDirectoryIsMadeFullForFilesLinksAndStateCase> {};

TEST_P(InstallationDirectoryIsMadeFullForFilesLinksAndStateTest, Case) {
  const InstallationDirectoryIsMadeFullForFilesLinksAndStateCase& c = GetParam();
  SCOPED_TRACE(c.field);
  WriteMedium({{"app.exe", "program", "Brackenvue"}});
  std::strcpy(st.installDir, c.field);
  EXPECT_EQ(RunInstall(), 1) << Error();
  EXPECT_STREQ(st.installDir, c.full);
  const std::string target = std::string(c.full) + "\\app.exe";
  EXPECT_EQ(hl::ReadContent(target), "program");
  auto link = hl::ReadLink(InProgramFolder("Brackenvue.lnk"));
  ASSERT_TRUE(link);
  EXPECT_EQ(link->target, target);
  EXPECT_EQ(link->workingDirectory, c.full);
}
INSTANTIATE_TEST_SUITE_P(RunInstall, InstallationDirectoryIsMadeFullForFilesLinksAndStateTest, ::testing::ValuesIn(kInstallationDirectoryIsMadeFullForFilesLinksAndStateCases));

TEST_F(RunInstallTest, NetworkInstallationDirectoryMakesNothingOnTheCurrentDrive) {
  WriteMedium(kTwoFiles);
  std::strcpy(st.installDir, "\\\\server\\share\\Games");
  const std::vector<std::string> before = hl::ListAll();
  EXPECT_EQ(RunInstall(), 0);
  EXPECT_EQ(Error(), "I couldn't create the program directory:\n\\\\server\\share\\Games\n");
  EXPECT_EQ(hl::ListAll(), before);
  for (const hl::Call& call : hl::CallsOf(hl::Op::kCreateDir)) {
    EXPECT_EQ(call.arg1.rfind("\\\\server\\share\\", 0), 0u) << call.arg1;
  }
}

TEST_F(RunInstallTest, EntriesAndShortcutsInFoldersGetTheirFolders) {
  hl::AddFile("C:\\MEDIA\\data\\levels.dat", "levels");
  hl::AddFile("C:\\MEDIA\\data\\more\\x.dat", "x");
  hl::AddFile("C:\\MEDIA\\manual.txt", "manual");
  hl::AddFile("C:\\MEDIA\\setup.inf",
              "3\r\ndata\\levels.dat Levels\r\ndata/more/x.dat X\r\nmanual.txt Docs\\Manual\r\n");
  for (int attempt = 0; attempt < 2; ++attempt) {  // a second run finds the folders there
    SCOPED_TRACE(attempt);
    EXPECT_EQ(RunInstall(), 1) << Error();
    EXPECT_EQ(Error(), "");
    EXPECT_EQ(hl::ReadContent(InInstallDir("data\\levels.dat")), "levels");
    EXPECT_EQ(hl::ReadContent(InInstallDir("data\\more\\x.dat")), "x");
    auto x = hl::ReadLink(InProgramFolder("X.lnk"));
    ASSERT_TRUE(x);
    EXPECT_EQ(x->target, InInstallDir("data\\more\\x.dat"));
    EXPECT_EQ(x->workingDirectory, InInstallDir("data\\more"));
    auto manual = hl::ReadLink(InProgramFolder("Docs\\Manual.lnk"));
    ASSERT_TRUE(manual);
    EXPECT_EQ(manual->target, InInstallDir("manual.txt"));
  }
}

TEST_F(RunInstallTest, FolderOfAnEntryThatCannotBeMadeIsACopyFailure) {
  hl::AddFile("C:\\MEDIA\\data\\levels.dat", "levels");
  hl::AddFile("C:\\MEDIA\\setup.inf", "1\r\ndata\\levels.dat Levels\r\n");
  hl::AddFile(InInstallDir("data"), "a file where the folder goes");
  EXPECT_EQ(RunInstall(), 0);
  EXPECT_EQ(Error(), "I couldn't copy data\\levels.dat to C:\\Program Files\\Brackenvue\\data\\levels.dat.");
  EXPECT_EQ(hl::ReadContent(InInstallDir("data")), "a file where the folder goes");
}

    // An empty folder the user chose is theirs: only a directory this run
    // made is taken away again.
    // The install command leaves it empty when the shell cannot name the
    // Programs folder, or the folder text leaves it.
    // Nothing listed, so no shortcut has to go there.
struct ProgramFolderThatCannotBeUsedCase {
  const char* name;
  std::function<void()> arrange;
  int result;
  bool installDirStays;
};
const ProgramFolderThatCannotBeUsedCase kProgramFolderThatCannotBeUsedCases[] = {
    {"cannot be made, installation directory there before",
     [] {
       WriteMedium(kTwoFiles);
       hl::AddDir(kInstallDir);
       hl::InjectFault({hl::Op::kCreateDir, kProgramFolder});
     },
     0, true},
    {"cannot be made, installation directory made by the run",
     [] {
       WriteMedium(kTwoFiles);
       hl::InjectFault({hl::Op::kCreateDir, kProgramFolder});
     },
     0, false},
    {"none to use", [] {
       WriteMedium(kTwoFiles);
       g_installState.programFolder[0] = '\0';
     },
     0, false},
    {"a file in its place, nothing listed",
     [] {
       hl::AddFile("C:\\MEDIA\\setup.inf", "0\r\n");
       hl::AddFile(kProgramFolder, "a file");
     },
     1, true},
    {"none to use, nothing listed",
     [] {
       hl::AddFile("C:\\MEDIA\\setup.inf", "0\r\n");
       g_installState.programFolder[0] = '\0';
     },
     1, true},
};
class ProgramFolderThatCannotBeUsedTest : public RunInstallTest, public ::testing::WithParamInterface<ProgramFolderThatCannotBeUsedCase> {};

TEST_P(ProgramFolderThatCannotBeUsedTest, Case) {
  const ProgramFolderThatCannotBeUsedCase& c = GetParam();
  SCOPED_TRACE(c.name);
  c.arrange();
  EXPECT_EQ(RunInstall(), c.result);
  EXPECT_EQ(Error(), c.result == 0 ? "I couldn't create the shortcut folder." : "");
  EXPECT_EQ(hl::IsDir(kInstallDir), c.installDirStays);
  EXPECT_FALSE(hl::Exists("C:\\Brackenvue"));
}
INSTANTIATE_TEST_SUITE_P(RunInstall, ProgramFolderThatCannotBeUsedTest, ::testing::ValuesIn(kProgramFolderThatCannotBeUsedCases));

TEST_F(RunInstallTest, RunGoesOnWithoutAProgressWindow) {
  WriteMedium(kTwoFiles);
  hl::InjectFault({hl::Op::kCreateDialog, "", 0, -1});
  EXPECT_EQ(RunInstall(), 1) << Error();
  EXPECT_EQ(hl::ReadContent(InInstallDir("notes.txt")), "notes");
  EXPECT_TRUE(hl::ReadLink(InProgramFolder("Notes.lnk")));
}

// Names that look like any other but open a device, a pipe or a folder
// (a link on the medium, say): what was opened decides.
struct ListedFileThatIsNotADiskFileIsRefusedBeforeAnythingIsWrittenCase {
  plat::FileKind kind;
  const char* message;
};
const ListedFileThatIsNotADiskFileIsRefusedBeforeAnythingIsWrittenCase kListedFileThatIsNotADiskFileIsRefusedBeforeAnythingIsWrittenCases[] = {
    {plat::FileKind::kDevice, "I can't install 'port.dat' from the installation file: it names a device, not a file."},
    {plat::FileKind::kPipe, "I can't install 'port.dat' from the installation file: it is not a file on a disk."},
    {plat::FileKind::kDirectory, "I can't install 'port.dat' from the installation file: it is a folder, not a file."},
    {plat::FileKind::kUnknown, "I can't install 'port.dat' from the installation file: it is not a file on a disk."},
};
class ListedFileThatIsNotADiskFileIsRefusedBeforeAnythingIsWrittenTest : public RunInstallTest, public ::testing::WithParamInterface<ListedFileThatIsNotADiskFileIsRefusedBeforeAnythingIsWrittenCase> {};

TEST_P(ListedFileThatIsNotADiskFileIsRefusedBeforeAnythingIsWrittenTest, Case) {
  const ListedFileThatIsNotADiskFileIsRefusedBeforeAnythingIsWrittenCase& c = GetParam();
  SCOPED_TRACE(c.message);
  WriteMedium({{"app.exe", "program", "App"}, {"port.dat", "", "Port"}});
  hl::SetFileKind("C:\\MEDIA\\port.dat", c.kind);
  const std::vector<std::string> before = hl::ListAll();
  EXPECT_EQ(RunInstall(), -1);
  EXPECT_EQ(Error(), c.message);
  EXPECT_EQ(hl::ListAll(), before);
  EXPECT_EQ(hl::OpenFileCount(), 0);
}
INSTANTIATE_TEST_SUITE_P(RunInstall, ListedFileThatIsNotADiskFileIsRefusedBeforeAnythingIsWrittenTest, ::testing::ValuesIn(kListedFileThatIsNotADiskFileIsRefusedBeforeAnythingIsWrittenCases));

TEST_F(RunInstallTest, ListedFileWhoseSizeCannotBeReadIsReportedLikeAMissingOne) {
  WriteMedium(kTwoFiles);
  hl::InjectFault({hl::Op::kGetFileLength, "C:\\MEDIA\\notes.txt"});
  EXPECT_EQ(RunInstall(), -1);
  EXPECT_EQ(Error(), "I can't find the installation file 'notes.txt'");
  EXPECT_FALSE(hl::Exists(kInstallDir));
  EXPECT_EQ(hl::OpenFileCount(), 0);
}
