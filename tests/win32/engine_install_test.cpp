// The engine on a real (Wine) file system and shell: nested directories,
// a file in the way, shell links read back through the shell, the free space
// of a directory that does not exist yet, and a whole installation of a small
// medium into a temporary directory.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/dir_path.h"
#include "engine/install_run.h"
#include "engine/install_state.h"
#include "engine/shortcut.h"
#include "tests/win32/test_files.h"

namespace {

using testfiles::IsDir;
using testfiles::RemoveTree;

bool IsFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void WriteFile(const std::string& path, const std::string& content) {
  ASSERT_TRUE(testfiles::WriteAll(path, content)) << path;
}

std::string ReadFile(const std::string& path) { return testfiles::ReadAll(path); }

// A new empty directory under the temporary directory, removed with all it
// holds when the test ends.
class TempDir {
 public:
  TempDir() {
    char base[MAX_PATH];
    DWORD n = GetTempPathA(sizeof base, base);
    std::string dir(base, n);
    if (!dir.empty() && dir.back() == '\\') dir.pop_back();
    static int counter = 0;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      std::string candidate =
          dir + "\\engine-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
      if (CreateDirectoryA(candidate.c_str(), nullptr)) path_ = candidate;
    }
  }
  ~TempDir() {
    if (!path_.empty()) RemoveTree(path_);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

struct LinkInfo {
  HRESULT loaded = E_FAIL;
  std::string path, description, workingDirectory;
};

// Loads a .lnk through the shell's own link object, independently of the
// engine's platform layer.
LinkInfo ReadLink(const std::string& linkPath) {
  LinkInfo info;
  CoInitialize(nullptr);
  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link)))) {
    return info;
  }
  IPersistFile* persist = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, wide, MAX_PATH);
    info.loaded = persist->Load(wide, STGM_READ);
    if (SUCCEEDED(info.loaded)) {
      char buf[INFOTIPSIZE];
      WIN32_FIND_DATAA data;
      if (SUCCEEDED(link->GetPath(buf, MAX_PATH, &data, SLGP_RAWPATH))) info.path = buf;
      if (SUCCEEDED(link->GetDescription(buf, sizeof buf))) info.description = buf;
      if (SUCCEEDED(link->GetWorkingDirectory(buf, MAX_PATH))) info.workingDirectory = buf;
    }
    persist->Release();
  }
  link->Release();
  return info;
}

// ---- Directories ----------------------------------------------------------------------

TEST(EngineDirPathTest, CreatesANestedDirectoryFromNothing) {
  TempDir tmp;
  ASSERT_FALSE(tmp.path().empty());
  const std::string deep = tmp / "Program Files\\Brackenvue\\Data";
  EXPECT_EQ(CreateDirectoryPath(deep.c_str()), 0);
  EXPECT_TRUE(IsDir(tmp / "Program Files"));
  EXPECT_TRUE(IsDir(deep));
  // All there now: nothing to do, still 0.
  EXPECT_EQ(CreateDirectoryPath((deep + "\\").c_str()), 0);
}

TEST(EngineDirPathTest, FileInTheWayFails) {
  TempDir tmp;
  ASSERT_FALSE(tmp.path().empty());
  WriteFile(tmp / "blocker", "data");

  EXPECT_EQ(CreateDirectoryPath((tmp / "blocker\\inner").c_str()), -1);  // intermediate
  EXPECT_EQ(CreateDirectoryPath((tmp / "blocker").c_str()), -1);         // last
  EXPECT_EQ(ReadFile(tmp / "blocker"), "data");
}

TEST(EngineFreeSpaceTest, DirectoryNotYetThereHasAFigure) {
  TempDir tmp;
  ASSERT_FALSE(tmp.path().empty());
  uint64_t freeBytes = 0;
  EXPECT_TRUE(GetFreeDiskSpace((tmp / "not\\there\\yet").c_str(), &freeBytes));
  EXPECT_GT(freeBytes, 0u);
  EXPECT_FALSE(IsDir(tmp / "not"));  // asking made nothing
}

// ---- Shell links ----------------------------------------------------------------------------

TEST(EngineShortcutTest, LinkReadsBackThroughTheShell) {
  TempDir tmp;
  ASSERT_FALSE(tmp.path().empty());
  const std::string dir = tmp / "Brackenvue";
  ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
  const std::string target = dir + "\\app.exe";
  WriteFile(target, "MZ");
  const std::string linkPath = tmp / "Brackenvue.lnk";

  ASSERT_GE(CreateShortcut(target.c_str(), linkPath.c_str(), "Brackenvue"), 0);
  LinkInfo info = ReadLink(linkPath);
  ASSERT_TRUE(SUCCEEDED(info.loaded));
  EXPECT_STRCASEEQ(info.path.c_str(), target.c_str());
  EXPECT_EQ(info.description, "Brackenvue");
  EXPECT_STRCASEEQ(info.workingDirectory.c_str(), dir.c_str());
}

TEST(EngineShortcutTest, MissingFolderFailsAndWritesNothing) {
  TempDir tmp;
  ASSERT_FALSE(tmp.path().empty());
  const std::string linkPath = tmp / "missing\\Brackenvue.lnk";
  EXPECT_LT(CreateShortcut("C:\\windows\\notepad.exe", linkPath.c_str(), "Brackenvue"), 0);
  EXPECT_FALSE(IsFile(linkPath));
}

// Writes a link for the Linux-side check with lnkinfo (engine_lnkinfo_check.sh),
// which names the directory in ENGINE_LNK_DIR; skipped without it.
TEST(EngineShortcutTest, LinkForLnkinfo) {
  const char* out = std::getenv("ENGINE_LNK_DIR");
  if (!out || !*out) GTEST_SKIP() << "ENGINE_LNK_DIR not set";
  const std::string dir = std::string(out) + "\\Brackenvue";
  CreateDirectoryA(dir.c_str(), nullptr);
  WriteFile(dir + "\\app.exe", "MZ");
  const std::string linkPath = std::string(out) + "\\Brackenvue.lnk";
  DeleteFileA(linkPath.c_str());
  ASSERT_GE(CreateShortcut((dir + "\\app.exe").c_str(), linkPath.c_str(), "Brackenvue"), 0);
  EXPECT_TRUE(IsFile(linkPath));
}

// ---- A whole installation ---------------------------------------------------------------------

class EngineRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(tmp_.path().empty());
    GetCurrentDirectoryA(sizeof savedDir_, savedDir_);
    medium_ = tmp_ / "medium";
    ASSERT_TRUE(CreateDirectoryA(medium_.c_str(), nullptr));
    ASSERT_TRUE(SetCurrentDirectoryA(medium_.c_str()));
    installDir_ = tmp_ / "Program Files\\Brackenvue";
    programFolder_ = tmp_ / "Start Menu\\Programs\\Brackenvue";
    std::strcpy(g_installState.installDir, installDir_.c_str());
    std::strcpy(g_installState.programFolder, programFolder_.c_str());
  }
  void TearDown() override {
    SetCurrentDirectoryA(savedDir_);  // else the medium cannot be removed
  }

  TempDir tmp_;
  char savedDir_[MAX_PATH] = "";
  std::string medium_, installDir_, programFolder_;
};

TEST_F(EngineRunTest, InstallsASmallMedium) {
  const std::string program(100000, 'P');
  WriteFile(medium_ + "\\app.exe", program);
  WriteFile(medium_ + "\\readme.txt", "Read me first.\r\n");
  WriteFile(medium_ + "\\setup.inf",
            "2\r\napp.exe Brackenvue\r\nreadme.txt Read Me\r\n.readme readme.txt\r\n");

  ASSERT_EQ(RunInstall(), 1) << g_installState.errorText;
  EXPECT_STREQ(g_installState.errorText, "");
  EXPECT_STREQ(g_installState.readmeName, "readme.txt");
  EXPECT_EQ(g_installState.totalBytes, program.size() + 16);
  EXPECT_EQ(ReadFile(installDir_ + "\\app.exe"), program);
  EXPECT_EQ(ReadFile(installDir_ + "\\readme.txt"), "Read me first.\r\n");

  const struct {
    std::string link, target;
  } links[] = {{programFolder_ + "\\Brackenvue.lnk", installDir_ + "\\app.exe"},
               {programFolder_ + "\\Read Me.lnk", installDir_ + "\\readme.txt"}};
  for (const auto& l : links) {
    LinkInfo info = ReadLink(l.link);
    ASSERT_TRUE(SUCCEEDED(info.loaded)) << l.link;
    EXPECT_STRCASEEQ(info.path.c_str(), l.target.c_str());
    EXPECT_EQ(info.description, "Brackenvue");
    EXPECT_STRCASEEQ(info.workingDirectory.c_str(), installDir_.c_str());
  }
}

TEST_F(EngineRunTest, FileWhereTheDirectoryShouldBeStopsAtTheCopy) {
  WriteFile(medium_ + "\\app.exe", "MZ");
  WriteFile(medium_ + "\\setup.inf", "1\r\napp.exe Brackenvue\r\n");
  ASSERT_TRUE(CreateDirectoryA((tmp_ / "Program Files").c_str(), nullptr));
  WriteFile(installDir_, "not a directory");

  EXPECT_EQ(RunInstall(), 0);
  EXPECT_EQ(std::string(g_installState.errorText), "I couldn't copy app.exe to " + installDir_ + "\\app.exe.");
  EXPECT_EQ(ReadFile(installDir_), "not a directory");
}

TEST_F(EngineRunTest, MissingListedFileEndsWithItsName) {
  WriteFile(medium_ + "\\setup.inf", "1\r\nabsent.dat Absent\r\n");
  EXPECT_EQ(RunInstall(), -1);
  EXPECT_STREQ(g_installState.errorText, "I can't find the installation file 'absent.dat'");
  EXPECT_FALSE(IsDir(installDir_));
}

}  // namespace
