// The plat:: services on the real API under Wine, with the results their
// callers rely on. Each test works in a fresh directory under %TEMP%, which is
// also the current directory while it runs.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/services.h"
#include "tests/win32/test_files.h"

namespace {

using testfiles::Exists;
using testfiles::ReadAll;
using testfiles::RemoveTree;
using testfiles::WriteAll;

// The directory of the running test program (helpers are built beside it).
std::string ProgramDir() {
  char self[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
  std::string path(self, n);
  return path.substr(0, path.find_last_of('\\'));
}

// A fresh directory that is the current directory while the test runs.
class ServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GetCurrentDirectoryA(sizeof saved_, saved_);
    char base[MAX_PATH];
    std::string tmp(base, GetTempPathA(sizeof base, base));
    if (!tmp.empty() && tmp.back() == '\\') tmp.pop_back();
    static int counter = 0;
    for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
      std::string candidate =
          tmp + "\\svc-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
      if (CreateDirectoryA(candidate.c_str(), nullptr)) dir_ = candidate;
    }
    ASSERT_FALSE(dir_.empty());
    ASSERT_TRUE(SetCurrentDirectoryA(dir_.c_str()));
  }
  void TearDown() override {
    SetCurrentDirectoryA(saved_);
    if (!dir_.empty()) RemoveTree(dir_);
  }
  std::string At(const std::string& name) const { return dir_ + "\\" + name; }

  char saved_[MAX_PATH] = "";
  std::string dir_;
};

// Attributes, directories, failed copies, reading and listing are shared
// cases (tests/shared/fs_cases.cpp), which also run against the headless model.

// ---- Copying ----------------------------------------------------------------------------

TEST_F(ServicesTest, CopyOverwritesAndKeepsTheTimestamp) {
  // Larger than one chunk of the copy loop, with an odd tail.
  std::string big(3 * 65536 + 123, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 251);
  ASSERT_TRUE(WriteAll(At("src.bin"), big));
  // An old timestamp, so that "now" cannot pass for a copied one.
  FILETIME old = {0x12345600u, 0x01C00000u};
  {
    HANDLE h = CreateFileA(At("src.bin").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &old));
    CloseHandle(h);
  }
  // A longer file in the way is replaced entirely, not overwritten in front.
  ASSERT_TRUE(WriteAll(At("dst.bin"), std::string(big.size() + 5000, 'Z')));

  // The source by a relative name, as the install run passes it.
  EXPECT_EQ(plat::CopyFileOver("src.bin", At("dst.bin").c_str()), plat::CopyResult::kCopied);
  EXPECT_TRUE(ReadAll(At("dst.bin")) == big);
  WIN32_FILE_ATTRIBUTE_DATA info;
  ASSERT_TRUE(GetFileAttributesExA(At("dst.bin").c_str(), GetFileExInfoStandard, &info));
  EXPECT_EQ(info.ftLastWriteTime.dwLowDateTime, old.dwLowDateTime);
  EXPECT_EQ(info.ftLastWriteTime.dwHighDateTime, old.dwHighDateTime);

  // Empty files copy too.
  ASSERT_TRUE(WriteAll(At("empty"), ""));
  EXPECT_EQ(plat::CopyFileOver(At("empty").c_str(), At("empty2").c_str()), plat::CopyResult::kCopied);
  EXPECT_EQ(ReadAll(At("empty2")), "");
}

// Files on a CD are read-only. An installed copy that kept the bit could not
// be overwritten by the next installation from the same medium.
TEST_F(ServicesTest, ReadOnlySourceGivesAWritableCopyThatCanBeReplaced) {
  ASSERT_TRUE(WriteAll(At("cd.txt"), "from the medium"));
  ASSERT_TRUE(SetFileAttributesA(At("cd.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    EXPECT_EQ(plat::CopyFileOver(At("cd.txt").c_str(), At("installed.txt").c_str()), plat::CopyResult::kCopied);
    DWORD attrs = GetFileAttributesA(At("installed.txt").c_str());
    ASSERT_NE(attrs, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(attrs & FILE_ATTRIBUTE_READONLY, 0u);
  }
  EXPECT_EQ(ReadAll(At("installed.txt")), "from the medium");
  SetFileAttributesA(At("cd.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Drive X: is a 1 MiB tmpfs that the test session maps (helpers/small-drive.sh).
bool SmallDriveReady() {
  ULARGE_INTEGER avail, total, free;
  return GetDiskFreeSpaceExA("X:\\", &avail, &total, &free) && total.QuadPart <= 4u * 1024 * 1024;
}

TEST_F(ServicesTest, CopyThatRunsOutOfSpaceLeavesTheInstalledFileAsItWas) {
  if (!SmallDriveReady()) GTEST_SKIP() << "no small drive X: (needs root to mount a tmpfs)";
  const std::string dst = "X:\\installed.bin";
  ASSERT_TRUE(WriteAll(dst, "an earlier installation"));
  ASSERT_TRUE(WriteAll(At("big.bin"), std::string(3 * 1024 * 1024, 'B')));
  EXPECT_EQ(plat::CopyFileOver(At("big.bin").c_str(), dst.c_str()), plat::CopyResult::kFailed);
  EXPECT_EQ(ReadAll(dst), "an earlier installation");
  EXPECT_EQ(GetFileAttributesA((dst + ".~inst").c_str()), INVALID_FILE_ATTRIBUTES) << "temporary copy left behind";
  // A small file still fits afterwards: the failure was the space, not the drive.
  ASSERT_TRUE(WriteAll(At("small.bin"), "fits"));
  EXPECT_EQ(plat::CopyFileOver(At("small.bin").c_str(), dst.c_str()), plat::CopyResult::kCopied);
  EXPECT_EQ(ReadAll(dst), "fits");
  DeleteFileA(dst.c_str());
}

// A destination whose name leaves no room for the temporary suffix is written
// directly; a failure there is reported as partial so the caller can remove it.
TEST_F(ServicesTest, CopyToAFullLengthNameStillWorks) {
  std::string dst = At("");
  dst.append(MAX_PATH - 1 - dst.size(), 'n');
  ASSERT_TRUE(WriteAll(At("src.txt"), "content"));
  EXPECT_EQ(plat::CopyFileOver(At("src.txt").c_str(), dst.c_str()), plat::CopyResult::kCopied);
  EXPECT_EQ(ReadAll(dst), "content");
}

// ---- Free space --------------------------------------------------------------------------

TEST_F(ServicesTest, FreeBytesOfAnExistingDirectory) {
  ASSERT_TRUE(CreateDirectoryA(At("sub").c_str(), nullptr));
  uint64_t bytes = 0;
  ASSERT_TRUE(plat::GetFreeBytes(At("sub").c_str(), &bytes));
  EXPECT_GT(bytes, 0u);
  // The same volume seen from its root, with the 64-bit call: a figure cut
  // to 32 bits would differ by gigabytes on any disk with more than 4 GiB free.
  ULARGE_INTEGER avail, total, free;
  ASSERT_TRUE(GetDiskFreeSpaceExA(dir_.substr(0, 3).c_str(), &avail, &total, &free));
  const uint64_t slack = 256u * 1024 * 1024;  // other tests write meanwhile
  EXPECT_LE(bytes, avail.QuadPart + slack);
  EXPECT_GE(bytes + slack, avail.QuadPart);
  EXPECT_LE(bytes, total.QuadPart);
}

TEST_F(ServicesTest, FreeBytesOfTheSmallDrive) {
  if (!SmallDriveReady()) GTEST_SKIP() << "no small drive X:";
  CreateDirectoryA("X:\\space", nullptr);
  uint64_t bytes = 0;
  ASSERT_TRUE(plat::GetFreeBytes("X:\\space", &bytes));
  EXPECT_GT(bytes, 0u);
  EXPECT_LE(bytes, 1024u * 1024);
  RemoveDirectoryA("X:\\space");
}

TEST_F(ServicesTest, FreeBytesFailsForWhatIsNotADirectory) {
  ASSERT_TRUE(WriteAll(At("file"), "x"));
  for (const std::string& path : {At("missing"), At("missing\\deeper"), At("file")}) {
    uint64_t bytes = 12345;
    EXPECT_FALSE(plat::GetFreeBytes(path.c_str(), &bytes)) << path;
    EXPECT_EQ(bytes, 12345u) << path;
  }
}

// ---- Windows directory, Programs folder --------------------------------------------

TEST_F(ServicesTest, WindowsDirectory) {
  char buf[MAX_PATH];
  unsigned n = plat::GetWindowsDir(buf, sizeof buf);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(n, std::strlen(buf));
  EXPECT_STRCASEEQ(buf, "C:\\windows");
  char small[4] = "abc";
  EXPECT_EQ(plat::GetWindowsDir(small, sizeof small), 0u);
  EXPECT_STREQ(small, "");
}

TEST_F(ServicesTest, ProgramsFolderExistsWithoutTrailingBackslash) {
  char buf[plat::kMaxPath];
  std::memset(buf, 'x', sizeof buf);
  ASSERT_TRUE(plat::GetProgramsFolderPath(buf));
  std::string path = buf;
  ASSERT_GT(path.size(), 3u);
  EXPECT_NE(path.back(), '\\');
  EXPECT_EQ(path.substr(1, 2), ":\\");
  EXPECT_STRCASEEQ(path.substr(path.size() - 9).c_str(), "\\Programs");
  DWORD attrs = GetFileAttributesA(path.c_str());
  ASSERT_NE(attrs, INVALID_FILE_ATTRIBUTES) << path;
  EXPECT_TRUE(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

// ---- Reading files -----------------------------------------------------------------------------

TEST_F(ServicesTest, LengthOfAFileOver4GiB) {
  // Sparse: the length is set without writing the data.
  HANDLE h = CreateFileA(At("huge").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  LARGE_INTEGER size;
  size.QuadPart = 5LL * 1024 * 1024 * 1024 + 7;
  bool sized = SetFilePointerEx(h, size, nullptr, FILE_BEGIN) && SetEndOfFile(h);
  CloseHandle(h);
  if (!sized) GTEST_SKIP() << "the file system cannot hold a 5 GiB file";
  plat::FileReader* file = plat::OpenForRead(At("huge").c_str());
  ASSERT_NE(file, nullptr);
  uint64_t length = 0;
  EXPECT_TRUE(plat::GetFileLength(file, &length));
  EXPECT_EQ(length, static_cast<uint64_t>(size.QuadPart));
  plat::CloseFile(file);
}

// ---- Shell links and text conversion -------------------------------------------------------------

TEST_F(ServicesTest, ShellLinkSequenceWritesALink) {
  ASSERT_GE(plat::ComInitialize(), 0);
  ASSERT_TRUE(CreateDirectoryA(At("App").c_str(), nullptr));
  const std::string target = At("App\\app.exe");
  ASSERT_TRUE(WriteAll(target, "MZ"));
  const std::string linkPath = At("My App.lnk");

  plat::ShellLink* link = nullptr;
  ASSERT_GE(plat::CreateShellLink(&link), 0);
  ASSERT_NE(link, nullptr);
  EXPECT_GE(plat::ShellLinkSetPath(link, target.c_str()), 0);
  EXPECT_GE(plat::ShellLinkSetDescription(link, "Brackenvue"), 0);
  EXPECT_GE(plat::ShellLinkSetWorkingDirectory(link, At("App").c_str()), 0);
  plat::PersistFile* persist = nullptr;
  ASSERT_GE(plat::ShellLinkQueryPersistFile(link, &persist), 0);
  ASSERT_NE(persist, nullptr);
  char16_t wide[plat::kMaxPath];
  ASSERT_GT(plat::AnsiToWide(linkPath.c_str(), wide, plat::kMaxPath), 0);
  EXPECT_GE(plat::PersistFileSave(persist, wide, true), 0);
  plat::PersistFileRelease(persist);
  plat::ShellLinkRelease(link);

  // Read back through the shell's own link object.
  IShellLinkA* reader = nullptr;
  ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                         reinterpret_cast<void**>(&reader))));
  IPersistFile* file = nullptr;
  ASSERT_TRUE(SUCCEEDED(reader->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
  wchar_t wideLink[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, wideLink, MAX_PATH);
  ASSERT_TRUE(SUCCEEDED(file->Load(wideLink, STGM_READ)));
  char buf[MAX_PATH];
  WIN32_FIND_DATAA data;
  ASSERT_TRUE(SUCCEEDED(reader->GetPath(buf, MAX_PATH, &data, SLGP_RAWPATH)));
  EXPECT_STRCASEEQ(buf, target.c_str());
  ASSERT_TRUE(SUCCEEDED(reader->GetDescription(buf, MAX_PATH)));
  EXPECT_STREQ(buf, "Brackenvue");
  ASSERT_TRUE(SUCCEEDED(reader->GetWorkingDirectory(buf, MAX_PATH)));
  EXPECT_STRCASEEQ(buf, At("App").c_str());
  file->Release();
  reader->Release();
}

TEST_F(ServicesTest, SavingALinkIntoAMissingFolderFails) {
  ASSERT_GE(plat::ComInitialize(), 0);
  plat::ShellLink* link = nullptr;
  ASSERT_GE(plat::CreateShellLink(&link), 0);
  plat::PersistFile* persist = nullptr;
  ASSERT_GE(plat::ShellLinkQueryPersistFile(link, &persist), 0);
  char16_t wide[plat::kMaxPath];
  ASSERT_GT(plat::AnsiToWide(At("missing\\x.lnk").c_str(), wide, plat::kMaxPath), 0);
  EXPECT_LT(plat::PersistFileSave(persist, wide, true), 0);
  plat::PersistFileRelease(persist);
  plat::ShellLinkRelease(link);
  EXPECT_FALSE(Exists(At("missing")));
}

TEST(AnsiToWideTest, ConvertsWithTerminatorAndRefusesSmallBuffers) {
  char16_t wide[8];
  EXPECT_EQ(plat::AnsiToWide("abc", wide, 8), 4);
  EXPECT_EQ(wide[0], u'a');
  EXPECT_EQ(wide[2], u'c');
  EXPECT_EQ(wide[3], u'\0');
  EXPECT_EQ(plat::AnsiToWide("abcdefgh", wide, 8), 0);
}

// ---- Starting programs -----------------------------------------------------------------------------

// The child program writes its command line to cmdline.out in its current
// directory, which it inherits from us.
class StartProgramTest : public ServicesTest {
 protected:
  void SetUp() override {
    ServicesTest::SetUp();
    if (HasFatalFailure()) return;
    helper_ = ProgramDir() + "\\report_cmdline.exe";
    ASSERT_TRUE(Exists(helper_)) << helper_;
    ASSERT_TRUE(CopyFileA(helper_.c_str(), At("child.exe").c_str(), FALSE));
  }
  std::string ChildSaw() { return ReadAll(At("cmdline.out")); }

  std::string helper_;
};

TEST_F(StartProgramTest, WaitingYieldsTheExitCodeAndTheLineIsUnquoted) {
  const char* args[] = {"child.exe", "exit=37", "C:\\Some Dir\\read me.txt", "", "last", nullptr};
  EXPECT_EQ(plat::StartProgram(true, "child.exe", args), 37);
  // Joined by single blanks, nothing quoted, an empty argument kept as such.
  EXPECT_EQ(ChildSaw(), "child.exe exit=37 C:\\Some Dir\\read me.txt  last");
}

TEST_F(StartProgramTest, ProgramNames) {
  ASSERT_TRUE(CreateDirectoryA(At("sub.d").c_str(), nullptr));
  ASSERT_TRUE(CopyFileA(helper_.c_str(), At("sub.d\\inner.exe").c_str(), FALSE));
  const struct {
    const char* program;
    int expected;
  } cases[] = {
      {"child.exe", 5},                  // bare name: the current directory
      {"CHILD.EXE", 5},                  // any letter case
      {"child", 5},                      // no extension: .exe is found
      {"sub.d\\inner", 5},               // a dot in the directory is no extension
      {"missing.exe", -1},               // an extension and no such file
      {"missing", -1},                   // no file with any extension
      {"notepad.exe", -1},               // on the search path but not here
      {"cmd", -1},                       // likewise without extension
      {"sub.d", -1},                     // a directory
      {"", -1},
  };
  for (const auto& c : cases) {
    DeleteFileA(At("cmdline.out").c_str());
    const char* args[] = {c.program, "exit=5", nullptr};
    EXPECT_EQ(plat::StartProgram(true, c.program, args), c.expected) << c.program;
    EXPECT_EQ(Exists(At("cmdline.out")), c.expected == 5) << c.program;
  }
  // A full path works from anywhere.
  const char* args[] = {helper_.c_str(), "exit=6", nullptr};
  EXPECT_EQ(plat::StartProgram(true, helper_.c_str(), args), 6);
}

TEST_F(StartProgramTest, NotWaitingReturnsWhileTheChildRuns) {
  // The child waits for this event before it writes anything.
  const std::string name = "start-program-go-" + std::to_string(GetCurrentProcessId());
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
  ASSERT_NE(go, nullptr);
  const std::string event = "event=" + name;
  const char* args[] = {"child.exe", event.c_str(), "exit=3", nullptr};
  EXPECT_EQ(plat::StartProgram(false, "child.exe", args), 0);
  EXPECT_FALSE(Exists(At("cmdline.out"))) << "returned only after the child had ended";
  SetEvent(go);
  for (int i = 0; i < 200 && !Exists(At("cmdline.out")); ++i) Sleep(50);
  EXPECT_EQ(ChildSaw(), "child.exe " + event + " exit=3");
  CloseHandle(go);
  // Let the child end before its directory is removed.
  for (int i = 0; i < 40 && !DeleteFileA(At("child.exe").c_str()); ++i) Sleep(50);
}

TEST_F(StartProgramTest, WaitingDispatchesNoMessages) {
  // A message posted to this thread before the wait is still queued after it:
  // a wait that pumped messages would have taken it out.
  MSG msg;
  PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // make sure the thread has a queue
  ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_APP + 7, 7, 0));
  const char* args[] = {"child.exe", nullptr};
  EXPECT_EQ(plat::StartProgram(true, "child.exe", args), 0);
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_APP + 7, WM_APP + 7, PM_REMOVE));
  EXPECT_EQ(ChildSaw(), "child.exe");
}

}  // namespace
