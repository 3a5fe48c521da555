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

// A new file at the full path length.
TEST_F(ServicesTest, CopyToAFullLengthNameStillWorks) {
  std::string dst = At("");
  dst.append(MAX_PATH - 1 - dst.size(), 'n');
  ASSERT_TRUE(WriteAll(At("src.txt"), "content"));
  EXPECT_EQ(plat::CopyFileOver(At("src.txt").c_str(), dst.c_str()), plat::CopyResult::kCopied);
  EXPECT_EQ(ReadAll(dst), "content");
}

// The names in a directory with their contents, to show that a copy left
// everything beside its destination as it was.
std::vector<std::pair<std::string, std::string>> Listing(const std::string& dir) {
  std::vector<std::pair<std::string, std::string>> out;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return out;
  do {
    std::string name = data.cFileName;
    if (name != "." && name != "..") out.emplace_back(name, ReadAll(dir + "\\" + name));
  } while (FindNextFileA(find, &data));
  FindClose(find);
  std::sort(out.begin(), out.end());
  return out;
}

// A directory path of exactly `length` characters below `base`, made on the disk.
std::string MakeDeepDir(const std::string& base, size_t length) {
  std::string path = base;
  if (!CreateDirectoryA(base.c_str(), nullptr)) return std::string();
  for (int n = 0; path.size() < length; ++n) {
    size_t take = std::min<size_t>(60, length - path.size() - 1);
    // Never leave room for a separator alone.
    if (length - path.size() - 1 - take == 1) --take;
    path += "\\" + ("d" + std::to_string(n) + std::string(60, 'x')).substr(0, take);
    if (!CreateDirectoryA(path.c_str(), nullptr)) return std::string();
  }
  return path;
}

// An earlier file is replaced through a temporary name beside it, which must
// never be a file that is already there: "<name>.~inst" and its next names
// may belong to someone else (or to an installation cut short by a power
// failure), and are neither overwritten nor removed.
TEST_F(ServicesTest, ReplacingAnEarlierFileLeavesEveryOtherFileAlone) {
  ASSERT_TRUE(WriteAll(At("src"), "new content"));
  const struct {
    const char* what;
    std::vector<std::string> beside;
  } cases[] = {
      {"nothing beside", {}},
      {"a <name>.~inst there", {"dst.~inst"}},
      {"several temporary-looking names there", {"dst.~inst", "dst.~in1", "dst.~in2", "DST.~IN3"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(CreateDirectoryA(At("case").c_str(), nullptr));
    const std::string dst = At("case\\dst");
    ASSERT_TRUE(WriteAll(dst, "an earlier installation"));
    for (const std::string& name : c.beside) ASSERT_TRUE(WriteAll(At("case\\" + name), "not ours: " + name));
    auto before = Listing(At("case"));

    EXPECT_EQ(plat::CopyFileOver(At("src").c_str(), dst.c_str()), plat::CopyResult::kCopied);
    for (auto& entry : before) {
      if (entry.first == "dst") entry.second = "new content";
    }
    EXPECT_EQ(Listing(At("case")), before);
    RemoveTree(At("case"));
  }
}

// Destinations of 254 to 259 characters leave no room for "<name>.~inst", so
// the temporary name must be a shorter one in the same directory; an earlier
// file there is still replaced only whole. A name of one character after a
// directory of 257 leaves room for a one-character name only.
TEST_F(ServicesTest, EarlierFilesUnderTheLongestNamesAreReplacedWhole) {
  ASSERT_TRUE(WriteAll(At("src"), "new content"));
  const struct {
    size_t dirLength, nameLength;
  } cases[] = {{245, 8}, {250, 5}, {254, 3}, {251, 7}, {257, 1}, {256, 2}, {256, 1}, {200, 58}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.dirLength) + " + 1 + " + std::to_string(c.nameLength));
    const std::string dir = MakeDeepDir(At("deep"), c.dirLength);
    ASSERT_EQ(dir.size(), c.dirLength);
    const std::string dst = dir + "\\" + std::string(c.nameLength, 'n');
    ASSERT_GE(dst.size(), 254u);
    ASSERT_TRUE(WriteAll(dst, "an earlier installation"));
    // Short neighbours a temporary name of this length could clash with.
    for (const char* name : {"~0", "~1", "0", "1", "a", "~"}) {
      if (std::strlen(name) <= c.nameLength) WriteAll(dir + "\\" + name, std::string("not ours: ") + name);
    }
    auto before = Listing(dir);

    EXPECT_EQ(plat::CopyFileOver(At("src").c_str(), dst.c_str()), plat::CopyResult::kCopied);
    EXPECT_EQ(ReadAll(dst), "new content");
    for (auto& entry : before) {
      if (dir + "\\" + entry.first == dst) entry.second = "new content";
    }
    EXPECT_EQ(Listing(dir), before);
    RemoveTree(At("deep"));
  }
}

// A file someone made read-only is not replaced, on Windows (which refuses to
// rename over it) as under Wine (which would): the copy fails and leaves it.
TEST_F(ServicesTest, ReadOnlyEarlierFileIsLeftWhole) {
  ASSERT_TRUE(WriteAll(At("src"), "new content"));
  ASSERT_TRUE(CreateDirectoryA(At("case").c_str(), nullptr));
  const std::string dst = At("case\\installed.txt");
  ASSERT_TRUE(WriteAll(dst, "an earlier installation"));
  ASSERT_TRUE(SetFileAttributesA(dst.c_str(), FILE_ATTRIBUTE_READONLY));
  auto before = Listing(At("case"));
  EXPECT_EQ(plat::CopyFileOver(At("src").c_str(), dst.c_str()), plat::CopyResult::kFailed);
  EXPECT_EQ(Listing(At("case")), before);
  EXPECT_TRUE(GetFileAttributesA(dst.c_str()) & FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA(dst.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A copy that runs out of space on the 1 MiB drive X: part-way through. An
// earlier file under the longest names survives whole with everything
// beside it; a destination that did not exist is reported as partial.
TEST_F(ServicesTest, CopyThatFailsPartWayKeepsEarlierFilesOfTheLongestNames) {
  if (!SmallDriveReady()) GTEST_SKIP() << "no small drive X: (needs root to mount a tmpfs)";
  ASSERT_TRUE(WriteAll(At("big.bin"), std::string(3 * 1024 * 1024, 'B')));
  for (size_t length = 254; length <= 259; ++length) {
    SCOPED_TRACE(length);
    const size_t nameLength = length == 259 ? 1 : 3;
    const std::string dir = MakeDeepDir("X:\\long", length - 1 - nameLength);
    ASSERT_FALSE(dir.empty());
    const std::string dst = dir + "\\" + std::string(nameLength, 'e');
    ASSERT_EQ(dst.size(), length);
    ASSERT_TRUE(WriteAll(dst, "an earlier installation"));
    for (const char* name : {"~0", "0"}) {
      if (std::strlen(name) <= nameLength) {
        ASSERT_TRUE(WriteAll(dir + "\\" + name, "not ours"));
      }
    }
    auto before = Listing(dir);
    EXPECT_EQ(plat::CopyFileOver(At("big.bin").c_str(), dst.c_str()), plat::CopyResult::kFailed);
    EXPECT_EQ(Listing(dir), before);

    const std::string fresh = dir + "\\" + std::string(nameLength, 'f');
    EXPECT_EQ(plat::CopyFileOver(At("big.bin").c_str(), fresh.c_str()), plat::CopyResult::kFailedPartial);
    EXPECT_TRUE(Exists(fresh)) << "a partial result is the caller's to remove";
    RemoveTree("X:\\long");
  }
}

// ---- What an open file is --------------------------------------------------------------

TEST_F(ServicesTest, FileKindsOfWhatANameCanOpen) {
  ASSERT_TRUE(WriteAll(At("file.txt"), "x"));
  ASSERT_TRUE(CreateDirectoryA(At("sub").c_str(), nullptr));
  const std::string pipe = "\\\\.\\pipe\\kind-" + std::to_string(GetCurrentProcessId());
  HANDLE server = CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_OUTBOUND, 0, 1, 0, 0, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  const struct {
    std::string name;
    plat::FileKind kind;
  } cases[] = {
      {"file.txt", plat::FileKind::kDiskFile},
      {At("file.txt"), plat::FileKind::kDiskFile},
      // Device names in any directory, with an extension, trailing blanks or dots.
      {"NUL", plat::FileKind::kDevice},
      {"nul.txt", plat::FileKind::kDevice},
      {"sub\\Nul.dat", plat::FileKind::kDevice},
      {"NUL. ", plat::FileKind::kDevice},
      {"AUX", plat::FileKind::kDevice},
      // Wine opens COM1 (the Linux serial port) without waiting; only a read
      // would block.
      {"COM1", plat::FileKind::kDevice},
      {"com1.inf", plat::FileKind::kDevice},
      {pipe, plat::FileKind::kPipe},
  };
  for (const auto& c : cases) {
    plat::FileReader* file = plat::OpenForRead(c.name.c_str());
    if (!file) {
      // A machine may have no serial port; what does not open is refused
      // by the load anyway.
      if (c.name.compare(0, 3, "COM") != 0 && c.name.compare(0, 3, "com") != 0) ADD_FAILURE() << c.name << " did not open";
      continue;
    }
    EXPECT_EQ(static_cast<int>(plat::GetFileKind(file)), static_cast<int>(c.kind)) << c.name;
    plat::CloseFile(file);
  }
  CloseHandle(server);

  // A directory does not open for reading here; should a system let it, it
  // is told apart. The backend hands out kernel handles, so a directory
  // opened with backup semantics stands in for one.
  EXPECT_EQ(plat::OpenForRead("sub"), nullptr);
  HANDLE dir = CreateFileA(At("sub").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(dir, INVALID_HANDLE_VALUE);
  EXPECT_EQ(plat::GetFileKind(reinterpret_cast<plat::FileReader*>(dir)), plat::FileKind::kDirectory);
  CloseHandle(dir);
  EXPECT_EQ(plat::GetFileKind(nullptr), plat::FileKind::kUnknown);
}

// ---- Full paths ----------------------------------------------------------------------------

TEST_F(ServicesTest, FullPathsAsTheFileSystemResolvesThem) {
  // The test runs in dir_ on drive C:, which is also C:'s current directory.
  ASSERT_EQ(dir_.substr(0, 3), "C:\\");
  const std::string parent = dir_.substr(0, dir_.find_last_of('\\'));
  const struct {
    const char* path;
    std::string full;
  } cases[] = {
      {"foo", dir_ + "\\foo"},
      {"a\\.\\b\\..\\c", dir_ + "\\a\\c"},
      {"..", parent},
      {"../x", parent + "\\x"},
      {"C:/Games/Bv", "C:\\Games\\Bv"},
      {"C:\\a\\..\\..\\b", "C:\\b"},
      {"\\Games", "C:\\Games"},
      // Drive-relative: against that drive's current directory, its root
      // for a drive never visited.
      {"C:x", dir_ + "\\x"},
      {"Q:x", "Q:\\x"},
      // Windows drops trailing dots and blanks of the last component.
      {"C:\\Games\\Bv ", "C:\\Games\\Bv"},
      {"foo. ", dir_ + "\\foo"},
      // The root of a network path is \\server\share\, and ".." stops there.
      {"\\\\server\\share\\dir", "\\\\server\\share\\dir"},
      {"//server/share/dir", "\\\\server\\share\\dir"},
      {"\\\\server\\share\\..\\..\\x", "\\\\server\\share\\x"},
  };
  for (const auto& c : cases) {
    char out[plat::kMaxPath];
    std::memset(out, 'x', sizeof out);
    EXPECT_TRUE(plat::GetFullPath(c.path, out)) << c.path;
    EXPECT_EQ(std::string(out), c.full) << c.path;
  }

  // 259 characters fit, 260 do not; nor does a relative path that becomes
  // longer than 259 when made full. A failure leaves "".
  std::string fits = "C:\\" + std::string(256, 'a');
  char out[plat::kMaxPath];
  EXPECT_TRUE(plat::GetFullPath(fits.c_str(), out));
  EXPECT_EQ(std::string(out), fits);
  for (const std::string& path : {fits + "a", std::string(259 - dir_.size(), 'r'), std::string()}) {
    std::memset(out, 'x', sizeof out);
    EXPECT_FALSE(plat::GetFullPath(path.c_str(), out)) << path.size();
    EXPECT_STREQ(out, "") << path.size();
  }
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
