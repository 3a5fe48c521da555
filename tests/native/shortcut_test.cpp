// The Programs folder lookup and the shell-link writer: the COM call order,
// the working directory, the results passed back and the refused paths.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/shortcut.h"
#include "platform/headless/headless.h"

namespace {

const std::string kPrograms = "C:\\Users\\user\\Start Menu\\Programs";

bool IsComOp(hl::Op op) {
  switch (op) {
    case hl::Op::kComInitialize:
    case hl::Op::kCreateShellLink:
    case hl::Op::kSetPath:
    case hl::Op::kSetDescription:
    case hl::Op::kSetWorkingDirectory:
    case hl::Op::kQueryPersistFile:
    case hl::Op::kAnsiToWide:
    case hl::Op::kPersistFileSave:
    case hl::Op::kPersistFileRelease:
    case hl::Op::kShellLinkRelease:
      return true;
    default:
      return false;
  }
}

// The shell-link calls of the log, by name, COM initialisation left out: it
// happens once per process, so only its own test can rely on seeing it.
std::vector<std::string> LinkCalls() {
  std::vector<std::string> calls;
  for (const hl::Call& call : hl::Calls()) {
    if (IsComOp(call.op) && call.op != hl::Op::kComInitialize) calls.push_back(hl::OpName(call.op));
  }
  return calls;
}

std::vector<std::string> Names(std::initializer_list<hl::Op> ops) {
  std::vector<std::string> names;
  for (hl::Op op : ops) names.push_back(hl::OpName(op));
  return names;
}

TEST(GetProgramsFolderTest, GivesTheFolderOrAnEmptyString) {
  char buf[260] = "garbage";
  GetProgramsFolder(buf);
  EXPECT_EQ(std::string(buf), kPrograms);

  hl::SetProgramsFolder("");
  std::strcpy(buf, "garbage");
  GetProgramsFolder(buf);
  EXPECT_STREQ(buf, "");
}

TEST(CreateShortcutTest, CallsTheShellInOrderAndWritesTheLink) {
  const std::string link = kPrograms + "\\Tool.lnk";
  hl::ClearCalls();
  EXPECT_EQ(CreateShortcut("D:\\Apps\\Tool\\TOOL.EXE", link.c_str(), "Brackenvue"), plat::kSOk);
  using hl::Op;
  EXPECT_EQ(LinkCalls(), Names({Op::kCreateShellLink, Op::kSetPath, Op::kSetDescription, Op::kSetWorkingDirectory,
                                Op::kQueryPersistFile, Op::kAnsiToWide, Op::kPersistFileSave,
                                Op::kPersistFileRelease, Op::kShellLinkRelease}))
      << hl::DumpCalls();
  std::optional<hl::LinkRecord> record = hl::ReadLink(link);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->target, "D:\\Apps\\Tool\\TOOL.EXE");
  EXPECT_EQ(record->description, "Brackenvue");
  EXPECT_EQ(record->workingDirectory, "D:\\Apps\\Tool");
}

// The flag lives for the whole process, so the first call is only seen in a
// fresh one: the check runs in a re-executed copy of this test program.
TEST(CreateShortcutTest, InitialisesComOnceInAProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string link = kPrograms + "\\A.lnk";
  auto threeCalls = [&] {
    for (int i = 0; i < 3; ++i) CreateShortcut("C:\\A.EXE", link.c_str(), "Brackenvue");
  };
  // "threadsafe": the child runs this test anew from the start of a process
  // (and from FreshStart), before any other test could initialise COM.
  EXPECT_EXIT(
      {
        threeCalls();
        std::vector<hl::Call> calls = hl::Calls();
        bool firstIsInit = !calls.empty() && calls.front().op == hl::Op::kComInitialize;
        std::exit(hl::ComInitializeCount() == 1 && firstIsInit ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");

  // In this process, whatever ran before: never more than the one.
  threeCalls();
  EXPECT_LE(hl::ComInitializeCount(), 1);
  EXPECT_EQ(hl::CallsOf(hl::Op::kPersistFileSave).size(), 3u);
}

TEST(CreateShortcutTest, WorkingDirectoryIsTheTargetCutAtItsLastBackslash) {
  const struct {
    const char* target;
    const char* workingDirectory;
  } cases[] = {
      {"D:\\Apps\\Tool\\TOOL.EXE", "D:\\Apps\\Tool"},
      {"C:\\TOOL.EXE", "C:"},
      {"TOOL.EXE", "TOOL.EXE"},
      {"C:\\Program Files\\Brackenvue\\read me.txt", "C:\\Program Files\\Brackenvue"},
      {"C:/Apps/TOOL.EXE", "C:/Apps/TOOL.EXE"},
  };
  const std::string link = kPrograms + "\\W.lnk";
  for (const auto& c : cases) {
    EXPECT_EQ(CreateShortcut(c.target, link.c_str(), "Brackenvue"), plat::kSOk) << c.target;
    std::optional<hl::LinkRecord> record = hl::ReadLink(link);
    ASSERT_TRUE(record) << c.target;
    EXPECT_EQ(record->workingDirectory, c.workingDirectory) << c.target;
  }
}

const plat::HResult kClassNotRegistered = static_cast<plat::HResult>(0x80040154u);
const plat::HResult kNoInterface = static_cast<plat::HResult>(0x80004002u);
const plat::HResult kAccessDenied = static_cast<plat::HResult>(0x80070005u);
using hl::Op;

class CreateShortcutFailureTest : public ::testing::Test {};

    // The property calls' results are not examined: the save decides.
    // A failed conversion must not save under an undefined name.
struct FailuresComeBackUnchangedAndSkipTheRestCase {
  const char* name;
  Op fault;
  plat::HResult injected;
  plat::HResult expected;  // 1: any negative result
  std::vector<std::string> calls;
  bool written;
};
const FailuresComeBackUnchangedAndSkipTheRestCase kFailuresComeBackUnchangedAndSkipTheRestCases[] = {
    {"no shell link object", Op::kCreateShellLink, kClassNotRegistered, kClassNotRegistered,
     Names({Op::kCreateShellLink}), false},
    {"no persist-file interface", Op::kQueryPersistFile, kNoInterface, kNoInterface,
     Names({Op::kCreateShellLink, Op::kSetPath, Op::kSetDescription, Op::kSetWorkingDirectory,
            Op::kQueryPersistFile, Op::kShellLinkRelease}),
     false},
    {"save refused", Op::kPersistFileSave, kAccessDenied, kAccessDenied,
     Names({Op::kCreateShellLink, Op::kSetPath, Op::kSetDescription, Op::kSetWorkingDirectory,
            Op::kQueryPersistFile, Op::kAnsiToWide, Op::kPersistFileSave, Op::kPersistFileRelease,
            Op::kShellLinkRelease}),
     false},
    {"set path fails", Op::kSetPath, plat::kEFail, plat::kSOk,
     Names({Op::kCreateShellLink, Op::kSetPath, Op::kSetDescription, Op::kSetWorkingDirectory,
            Op::kQueryPersistFile, Op::kAnsiToWide, Op::kPersistFileSave, Op::kPersistFileRelease,
            Op::kShellLinkRelease}),
     true},
    {"conversion fails", Op::kAnsiToWide, 0, 1,
     Names({Op::kCreateShellLink, Op::kSetPath, Op::kSetDescription, Op::kSetWorkingDirectory,
            Op::kQueryPersistFile, Op::kAnsiToWide, Op::kPersistFileSave, Op::kPersistFileRelease,
            Op::kShellLinkRelease}),
     false},
};
class FailuresComeBackUnchangedAndSkipTheRestTest : public CreateShortcutFailureTest, public ::testing::WithParamInterface<FailuresComeBackUnchangedAndSkipTheRestCase> {};

TEST_P(FailuresComeBackUnchangedAndSkipTheRestTest, Case) {
  const std::string link = kPrograms + "\\F.lnk";
  const FailuresComeBackUnchangedAndSkipTheRestCase& c = GetParam();
  SCOPED_TRACE(c.name);
  hl::InjectFault({c.fault, "", 0, 1, c.injected});
  plat::HResult result = CreateShortcut("C:\\X\\TOOL.EXE", link.c_str(), "Brackenvue");
  if (c.expected == 1) {
    EXPECT_LT(result, 0);
  } else {
    EXPECT_EQ(result, c.expected);
  }
  EXPECT_EQ(LinkCalls(), c.calls) << hl::DumpCalls();
  EXPECT_EQ(hl::Exists(link), c.written);
}
INSTANTIATE_TEST_SUITE_P(CreateShortcut, FailuresComeBackUnchangedAndSkipTheRestTest, ::testing::ValuesIn(kFailuresComeBackUnchangedAndSkipTheRestCases));

TEST(CreateShortcutTest, MissingFolderFailsTheSave) {
  const std::string link = kPrograms + "\\Nowhere\\Tool.lnk";
  EXPECT_LT(CreateShortcut("C:\\TOOL.EXE", link.c_str(), "Brackenvue"), 0);
  EXPECT_FALSE(hl::Exists(link));
}

TEST(CreateShortcutTest, PathsThatCannotBeHeldAreRefusedBeforeCom) {
  const std::string folder = "C:\\L";
  hl::AddDir(folder);
  // 259 characters of link path: the longest the wide buffer holds.
  const std::string longestLink = folder + "\\" + std::string(259 - folder.size() - 5, 'n') + ".lnk";
  ASSERT_EQ(longestLink.size(), 259u);
  const std::string longestTarget = "C:\\" + std::string(256, 't');
  EXPECT_EQ(CreateShortcut(longestTarget.c_str(), longestLink.c_str(), "Brackenvue"), plat::kSOk);
  ASSERT_TRUE(hl::ReadLink(longestLink));
  EXPECT_EQ(hl::ReadLink(longestLink)->target, longestTarget);

  const std::string tooLongLink = folder + "\\" + std::string(260 - folder.size() - 5, 'n') + ".lnk";
  const std::string tooLongTarget = longestTarget + "t";
  const struct {
    const char* name;
    const std::string& target;
    const std::string& link;
  } cases[] = {
      {"target", tooLongTarget, longestLink},
      {"link", longestTarget, tooLongLink},
  };
  for (const auto& c : cases) {
    hl::ClearCalls();
    EXPECT_EQ(CreateShortcut(c.target.c_str(), c.link.c_str(), "Brackenvue"), plat::kEInvalidArg) << c.name;
    EXPECT_TRUE(hl::Calls().empty()) << c.name << "\n" << hl::DumpCalls();
  }
  EXPECT_FALSE(hl::Exists(tooLongLink));
}

}  // namespace
