// Creating a directory path: which prefixes are tested and created, in which
// order, and where it stops.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/dir_path.h"
#include "platform/headless/headless.h"

namespace {

// The file-system calls of the operation, as "attr PATH" / "mkdir PATH".
std::vector<std::string> FileSystemCalls() {
  std::vector<std::string> calls;
  for (const hl::Call& call : hl::Calls()) {
    if (call.op == hl::Op::kGetFileAttribs) calls.push_back("attr " + call.arg1);
    if (call.op == hl::Op::kCreateDir) calls.push_back("mkdir " + call.arg1);
  }
  return calls;
}

struct PrefixCase {
  const char* name;
  std::vector<std::string> existing;  // directories there before the call
  std::string path;
  std::vector<std::string> calls;
  int result;
  std::vector<std::string> created;  // directories there afterwards
};

class CreateDirectoryPathTest : public ::testing::Test {};

const PrefixCase kTestsAndCreatesPrefixesOutermostFirstCases[] = {
    {"nothing there",
     {},
     "C:\\Program Files\\Brackenvue",
     {"attr C:\\Program Files", "mkdir C:\\Program Files", "attr C:\\Program Files\\Brackenvue",
      "mkdir C:\\Program Files\\Brackenvue"},
     0,
     {"C:\\Program Files\\Brackenvue"}},
    {"parent there",
     {"C:\\Program Files"},
     "C:\\Program Files\\Brackenvue",
     {"attr C:\\Program Files", "attr C:\\Program Files\\Brackenvue", "mkdir C:\\Program Files\\Brackenvue"},
     0,
     {"C:\\Program Files\\Brackenvue"}},
    {"all there",
     {"C:\\Program Files\\Brackenvue"},
     "C:\\Program Files\\Brackenvue",
     {"attr C:\\Program Files", "attr C:\\Program Files\\Brackenvue"},
     0,
     {"C:\\Program Files\\Brackenvue"}},
    {"doubled and trailing backslashes",
     {},
     "C:\\A\\\\B\\",
     {"attr C:\\A", "mkdir C:\\A", "attr C:\\A\\B", "mkdir C:\\A\\B"},
     0,
     {"C:\\A\\B"}},
    {"rooted on the current drive",
     {},
     "\\A\\B",
     {"attr \\A", "mkdir \\A", "attr \\A\\B", "mkdir \\A\\B"},
     0,
     {"C:\\A\\B"}},
    {"relative to the current directory",
     {},
     "A\\B",
     {"attr A", "mkdir A", "attr A\\B", "mkdir A\\B"},
     0,
     {"C:\\MEDIA\\A\\B"}},
    {"single component", {}, "A", {"attr A", "mkdir A"}, 0, {"C:\\MEDIA\\A"}},
    {"a network root alone is neither tested nor created", {}, "\\\\Srv\\Share", {}, 0, {}},
    {"a network root with its backslash", {}, "\\\\Srv\\Share\\", {}, 0, {}},
    {"drive in the middle is neither tested nor created",
     {},
     "A\\X:Y\\B",
     {"attr A", "mkdir A", "attr A\\X:Y\\B", "mkdir A\\X:Y\\B"},
     -1,
     {"C:\\MEDIA\\A"}},
    {"drive root", {}, "C:\\", {}, 0, {}},
    {"drive only", {}, "C:", {}, 0, {}},
    {"forward slashes after a drive letter", {}, "C:/A/B", {}, 0, {}},
    {"missing drive", {}, "Q:\\A\\B", {"attr Q:\\A", "mkdir Q:\\A"}, -1, {}},
    {"empty path", {}, "", {"attr ", "mkdir "}, -1, {}},
    {"single backslash is the root", {}, "\\", {"attr \\"}, 0, {}},
};
class TestsAndCreatesPrefixesOutermostFirstTest : public CreateDirectoryPathTest, public ::testing::WithParamInterface<PrefixCase> {};

TEST_P(TestsAndCreatesPrefixesOutermostFirstTest, Case) {
  const PrefixCase& c = GetParam();
  SCOPED_TRACE(c.name);
  for (const std::string& dir : c.existing) hl::AddDir(dir);
  hl::ClearCalls();
  EXPECT_EQ(CreateDirectoryPath(c.path.c_str()), c.result);
  EXPECT_EQ(FileSystemCalls(), c.calls) << hl::DumpCalls();
  for (const std::string& dir : c.created) EXPECT_TRUE(hl::IsDir(dir)) << dir;
}
INSTANTIATE_TEST_SUITE_P(CreateDirectoryPath, TestsAndCreatesPrefixesOutermostFirstTest, ::testing::ValuesIn(kTestsAndCreatesPrefixesOutermostFirstCases));

TEST(CreateDirectoryPathTest, NetworkPathsCreateOnlyBelowTheShare) {
  // The model has no network, so the first folder below the share cannot be
  // made; what matters is that nothing is tried at the share or above it, and
  // nothing lands on the current drive.
  hl::ClearCalls();
  EXPECT_EQ(CreateDirectoryPath("\\\\Srv\\Share\\Games\\Bv"), -1);
  EXPECT_EQ(FileSystemCalls(), (std::vector<std::string>{"attr \\\\Srv\\Share\\Games", "mkdir \\\\Srv\\Share\\Games"}));
  EXPECT_FALSE(hl::Exists("C:\\Srv"));
}

TEST(CreateDirectoryPathTest, FileInTheWayOfAFolderStopsAtOnce) {
  // C:\A is a file, so C:\A\B is never tried.
  hl::AddFile("C:\\A", "data");
  hl::ClearCalls();
  EXPECT_EQ(CreateDirectoryPath("C:\\A\\B\\C"), -1);
  EXPECT_EQ(FileSystemCalls(), std::vector<std::string>{"attr C:\\A"});
  EXPECT_EQ(hl::ReadContent("C:\\A"), "data");
}

TEST(CreateDirectoryPathTest, FileWhereTheLastFolderGoesStaysAsItWas) {
  hl::AddFile("C:\\D\\E", "data");
  hl::ClearCalls();
  EXPECT_EQ(CreateDirectoryPath("C:\\D\\E"), -1);
  EXPECT_EQ(FileSystemCalls(), (std::vector<std::string>{"attr C:\\D", "attr C:\\D\\E"}));
  EXPECT_TRUE(hl::IsFile("C:\\D\\E"));
}

TEST(CreateDirectoryPathTest, FailedCreationKeepsWhatWasMade) {
  hl::InjectFault({hl::Op::kCreateDir, "C:\\A\\B"});
  EXPECT_EQ(CreateDirectoryPath("C:\\A\\B\\C"), -1);
  EXPECT_TRUE(hl::IsDir("C:\\A"));
  EXPECT_FALSE(hl::Exists("C:\\A\\B"));
}

// "C:\ddddddddd\ddddddddd..." of exactly `length` characters.
std::string PathOfLength(size_t length) {
  std::string path = "C:";
  while (path.size() + 10 <= length) path += "\\ddddddddd";
  size_t rest = length - path.size();
  if (rest == 1) path += 'e';
  if (rest >= 2) path += "\\" + std::string(rest - 1, 'e');
  return path;
}

TEST(CreateDirectoryPathTest, FullLengthPathsWorkAndLongerOnesAreRefused) {
  // 259 characters: every prefix is tested, the whole path last. (Windows
  // itself creates directories of up to 247 characters, so the full-length
  // path is there already.)
  const std::string longest = PathOfLength(259);
  ASSERT_EQ(longest.size(), 259u);
  hl::AddDir(longest);
  hl::ClearCalls();
  EXPECT_EQ(CreateDirectoryPath(longest.c_str()), 0);
  std::vector<std::string> calls = FileSystemCalls();
  ASSERT_EQ(calls.size(), 26u);
  EXPECT_EQ(calls.back(), "attr " + longest);

  const std::string creatable = PathOfLength(247);
  EXPECT_EQ(CreateDirectoryPath(creatable.c_str()), 0);
  EXPECT_TRUE(hl::IsDir(creatable));

  for (size_t length : {260u, 261u, 400u}) {
    const std::string tooLong = PathOfLength(length);
    ASSERT_EQ(tooLong.size(), length);
    hl::ClearCalls();
    EXPECT_EQ(CreateDirectoryPath(tooLong.c_str()), -1) << length;
    EXPECT_TRUE(FileSystemCalls().empty()) << length;
  }
}

}  // namespace
