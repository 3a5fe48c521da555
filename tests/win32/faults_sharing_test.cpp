// Faults of a real (Wine) file system that the engine meets on its own:
// files held open by someone else without sharing (a listed file on the
// medium, an installed program that is running while it is reinstalled) and
// directory paths at the 259-character limit. docs/faults.md lists these
// with the other fault tests.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/dir_path.h"
#include "engine/install_run.h"
#include "engine/install_state.h"
#include "tests/win32/test_files.h"

namespace {

using testfiles::Exists;
using testfiles::IsDir;
using testfiles::RemoveTree;

void Write(const std::string& path, const std::string& content) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  DWORD written = 0;
  BOOL ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
  ASSERT_TRUE(ok && written == content.size()) << path;
}

std::string ReadHandle(HANDLE file) {
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  std::string content;
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(file, buf, sizeof buf, &got, nullptr) && got > 0) content.append(buf, got);
  return content;
}

std::string Read(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<cannot be read>";
  std::string content = ReadHandle(file);
  CloseHandle(file);
  return content;
}

// An open handle that shares nothing: what a running program or another
// installer holds on its file.
class Held {
 public:
  explicit Held(const std::string& path)
      : handle_(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~Held() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
  std::string Content() const { return ReadHandle(handle_); }

 private:
  HANDLE handle_;
};

// A medium as the current directory and an installation directory, in a
// fresh directory under the temporary directory, all removed afterwards.
class FaultsWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    char base[MAX_PATH];
    DWORD n = GetTempPathA(sizeof base, base);
    root_.assign(base, n);
    if (!root_.empty() && root_.back() == '\\') root_.pop_back();
    root_ += "\\faults-" + std::to_string(GetCurrentProcessId()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name();
    RemoveTree(root_);
    ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr)) << root_;
    GetCurrentDirectoryA(sizeof savedDir_, savedDir_);
    medium_ = root_ + "\\medium";
    ASSERT_TRUE(CreateDirectoryA(medium_.c_str(), nullptr));
    ASSERT_TRUE(SetCurrentDirectoryA(medium_.c_str()));
    installDir_ = root_ + "\\Program Files\\Brackenvue";
    programFolder_ = root_ + "\\Programs\\Brackenvue";
    std::strcpy(g_installState.installDir, installDir_.c_str());
    std::strcpy(g_installState.programFolder, programFolder_.c_str());
  }
  void TearDown() override {
    SetCurrentDirectoryA(savedDir_);
    RemoveTree(root_);
  }

  // Three files a, b, c on the medium, listed in setup.inf.
  void WriteMedium() {
    std::string manifest = "3\r\n";
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
      Write(medium_ + "\\" + name, std::string("new ") + name);
      manifest += std::string(name) + " " + name + "\r\n";
    }
    Write(medium_ + "\\setup.inf", manifest);
  }
  std::string Installed(const std::string& name) const { return installDir_ + "\\" + name; }
  static std::string Error() { return g_installState.errorText; }

  std::string root_, medium_, installDir_, programFolder_;
  char savedDir_[MAX_PATH] = "";
};

TEST_F(FaultsWin32Test, ListedFileHeldOpenWithoutSharingCannotBeRead) {
  WriteMedium();
  Held held(medium_ + "\\b.txt");
  ASSERT_TRUE(held.ok());

  EXPECT_EQ(RunInstall(), -1);
  EXPECT_EQ(Error(), "I can't find the installation file 'b.txt'");
  EXPECT_FALSE(Exists(root_ + "\\Program Files"));
  EXPECT_EQ(held.Content(), "new b.txt");
}

TEST_F(FaultsWin32Test, InstalledProgramInUseIsLeftWholeWhenItCannotBeReplaced) {
  // An earlier installation whose b.txt is open in a running program: the
  // copy over it fails before writing, so the old file must be neither cut
  // nor removed. The files before it are replaced, those after it are not
  // reached.
  WriteMedium();
  ASSERT_EQ(CreateDirectoryPath(installDir_.c_str()), 0);
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) Write(Installed(name), std::string("old ") + name);
  Held running(Installed("b.txt"));
  ASSERT_TRUE(running.ok());

  EXPECT_EQ(RunInstall(), 0);
  EXPECT_EQ(Error(), "I couldn't copy b.txt to " + Installed("b.txt") + ".");
  EXPECT_EQ(Read(Installed("a.txt")), "new a.txt");
  EXPECT_EQ(running.Content(), "old b.txt");
  EXPECT_EQ(Read(Installed("c.txt")), "old c.txt");
}

TEST_F(FaultsWin32Test, DirectoryPathsAtTheLengthLimit) {
  // A path of 259 characters is made whole; one of 260 is refused before
  // anything is made. (Wine's own limit for CreateDirectoryA lies beyond
  // 259, so the refusal is the engine's.)
  auto pathOf = [this](size_t length) {
    std::string path = root_ + "\\limit";
    for (int n = 0; path.size() < length; ++n) {
      size_t room = length - path.size() - 1;
      path += "\\" + std::string(room < 40 ? room : 40, static_cast<char>('a' + n));
    }
    return path;
  };
  const std::string longest = pathOf(259);
  ASSERT_EQ(longest.size(), 259u);
  EXPECT_EQ(CreateDirectoryPath(longest.c_str()), 0);
  EXPECT_TRUE(IsDir(longest));
  RemoveTree(root_ + "\\limit");

  const std::string tooLong = pathOf(260);
  EXPECT_EQ(CreateDirectoryPath(tooLong.c_str()), -1);
  EXPECT_FALSE(Exists(root_ + "\\limit"));
}

}  // namespace
