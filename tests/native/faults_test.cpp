// Hostile media and faults the headless machine can make happen that Windows
// under Wine cannot make on demand: names that climb out of their directory,
// a listed file that goes away while the run is under way, a medium error in
// the middle of a copy over an earlier installation, and a manifest of 70,000
// entries. The faults that Wine can make real are shown by tests/e2e/faults_*
// and tests/win32/faults_*; docs/faults.md lists them all.
#include <gtest/gtest.h>

#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/install_app.h"
#include "engine/install_run.h"
#include "engine/install_state.h"
#include "engine/manifest.h"
#include "platform/framework.h"
#include "platform/headless/headless.h"
#include "tests/native/fresh_start.h"

namespace {

const char kInstallDir[] = "C:\\Games\\Brackenvue";
const char kProgramFolder[] = "C:\\Users\\user\\Start Menu\\Programs\\Brackenvue";
const char kUnreadable[] = "I couldn't read the installation file.";

std::string Installed(const std::string& name) { return std::string(kInstallDir) + "\\" + name; }

// Every test starts from FreshStart (the test main); the fixture adds the
// two paths the Install command would have set.
class FaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::strcpy(g_installState.installDir, kInstallDir);
    std::strcpy(g_installState.programFolder, kProgramFolder);
  }
  static std::string Error() { return g_installState.errorText; }
};
template <typename Case>
class FaultsTableTest : public FaultsTest, public ::testing::WithParamInterface<Case> {};

// ---- Names that leave their directory ----------------------------------------------

// Each line names a source that exists where the name would find it, so
// only the load's own check stands between the medium and the disk (the
// climbing names were found by the paths fuzzer: fuzz/regressions/paths/).
// Nothing may even be opened under such a name: opening "COM1" can block
// for good.
struct RefusedName {
const char* line;
const char* source;  // a file put where the line's file name finds it
const char* message;
};
const RefusedName kRefusedNames[] = {
    {"..\\evil.dll Evil", "C:\\evil.dll",
     "I can't install '..\\evil.dll' from the installation file: it climbs out of its folder."},
    {"sub\\..\\..\\evil.dll Evil", "C:\\evil.dll",
     "I can't install 'sub\\..\\..\\evil.dll' from the installation file: it climbs out of its folder."},
    {"../evil.dll Evil", "C:\\evil.dll",
     "I can't install '../evil.dll' from the installation file: it climbs out of its folder."},
    {"...\\evil.dll Evil", "C:\\MEDIA\\...\\evil.dll",
     "I can't install '...\\evil.dll' from the installation file: it climbs out of its folder."},
    {"\\WINDOWS\\x.dll X", "C:\\WINDOWS\\x.dll",
     "I can't install '\\WINDOWS\\x.dll' from the installation file: it must be a name inside its folder, "
     "not a drive or root path."},
    {"C:\\WINDOWS\\x.dll X", "C:\\WINDOWS\\x.dll",
     "I can't install 'C:\\WINDOWS\\x.dll' from the installation file: it must be a name inside its folder, "
     "not a drive or root path."},
    {"C:x.dll X", "C:\\MEDIA\\x.dll",
     "I can't install 'C:x.dll' from the installation file: it must be a name inside its folder, "
     "not a drive or root path."},
    {"app.exe:hidden X", "C:\\MEDIA\\app.exe", "I can't install 'app.exe:hidden' from the installation file: it holds a colon."},
    {"COM1 Port", "C:\\MEDIA\\COM1", "I can't install 'COM1' from the installation file: it names a device, not a file."},
    {"nul.txt Null", "C:\\MEDIA\\nul.txt", "I can't install 'nul.txt' from the installation file: it names a device, not a file."},
    {"data\\Lpt1.dat D", "C:\\MEDIA\\data\\Lpt1.dat",
     "I can't install 'data\\Lpt1.dat' from the installation file: it names a device, not a file."},
    {"app.exe ..\\Startup\\Evil", "C:\\MEDIA\\app.exe",
     "I can't create the shortcut '..\\Startup\\Evil' for 'app.exe' from the installation file: "
     "it climbs out of its folder."},
    {"app.exe Sub\\..\\..\\Evil", "C:\\MEDIA\\app.exe",
     "I can't create the shortcut 'Sub\\..\\..\\Evil' for 'app.exe' from the installation file: "
     "it climbs out of its folder."},
    {"app.exe .. \\Evil", "C:\\MEDIA\\app.exe",
     "I can't create the shortcut '.. \\Evil' for 'app.exe' from the installation file: it climbs out of its folder."},
    {"app.exe C:\\Evil", "C:\\MEDIA\\app.exe",
     "I can't create the shortcut 'C:\\Evil' for 'app.exe' from the installation file: "
     "it must be a name inside its folder, not a drive or root path."},
    {"app.exe CON", "C:\\MEDIA\\app.exe",
     "I can't create the shortcut 'CON' for 'app.exe' from the installation file: it names a device, not a file."},
    {"app.exe Docs \\Manual", "C:\\MEDIA\\app.exe",
     "I can't create the shortcut 'Docs \\Manual' for 'app.exe' from the installation file: "
     "a folder name in it ends in a blank."},
};

using RefusedNameTest = FaultsTableTest<RefusedName>;

TEST_P(RefusedNameTest, RefusedBeforeAnythingIsOpened) {
  const RefusedName& c = GetParam();
  hl::AddFile(c.source, "payload");
  hl::AddFile("C:\\MEDIA\\setup.inf", std::string("1\r\n") + c.line + "\r\n");
  const std::vector<std::string> before = hl::ListAll();
  hl::ClearCalls();
  EXPECT_EQ(RunInstall(), -1);
  EXPECT_EQ(Error(), c.message);
  EXPECT_EQ(hl::ListAll(), before);
  EXPECT_EQ(hl::LastDialog(129), nullptr);
  // Only the manifest itself was opened.
  for (const hl::Call& call : hl::CallsOf(hl::Op::kOpenForRead)) EXPECT_EQ(call.arg1, "setup.inf");
}
INSTANTIATE_TEST_SUITE_P(Faults, RefusedNameTest, ::testing::ValuesIn(kRefusedNames));

// Dots inside or around a name, and names that only look like devices, are
// only names.
using AcceptedNameTest = FaultsTableTest<const char*>;

TEST_P(AcceptedNameTest, Installs) {
  const char* line = GetParam();
  std::string name(line, std::strchr(line, ' '));
  hl::AddFile("C:\\MEDIA\\" + name, "data");
  hl::AddDir(Installed("sub."));
  hl::AddFile("C:\\MEDIA\\setup.inf", std::string("1\r\n") + line + "\r\n");
  EXPECT_EQ(RunInstall(), 1) << Error();
  EXPECT_EQ(hl::ReadContent(Installed(name)), "data");
}
INSTANTIATE_TEST_SUITE_P(Faults, AcceptedNameTest,
                         ::testing::Values("a..b.txt Short..Cut", ".hidden .lnk", "sub.\\x.txt ..x", "x.txt .\\X",
                                           "console.txt Con Sole", "com10.txt LPT"));

// ---- A file where the program folder must go ---------------------------------------------

TEST_F(FaultsTest, FileWhereTheProgramFolderMustGoStopsTheRun) {
  // A regular file named like the program folder used to let the run go on
  // and end "complete" with every shortcut failed (found by the end-to-end
  // test of a blocked program folder under Wine).
  hl::AddFile("C:\\MEDIA\\a.txt", "a");
  hl::AddFile("C:\\MEDIA\\setup.inf", "1\r\na.txt A\r\n");
  hl::AddFile(kProgramFolder, "a file in the way");
  EXPECT_EQ(RunInstall(), 0);
  EXPECT_EQ(Error(), "I couldn't create the shortcut folder.");
  EXPECT_EQ(hl::ReadContent(kProgramFolder), "a file in the way");
  // The installation directory made by this run goes again; its parent stays.
  EXPECT_FALSE(hl::Exists(kInstallDir));
  EXPECT_TRUE(hl::IsDir("C:\\Games"));
  EXPECT_TRUE(hl::CallsOf(hl::Op::kCopyFile).empty());
  EXPECT_TRUE(hl::CallsOf(hl::Op::kCreateShellLink).empty());
  EXPECT_EQ(hl::LastDialog(129), nullptr);
}

// ---- A listed file that goes away after the load ------------------------------------

// An earlier installation is in place; this run's b.txt disappears from the
// medium after the manifest was read. Before the existence check it is the
// medium's fault (-1); between the check and the copy the copy fails (0).
// Either way the installed b.txt keeps its old content.
struct GoneCase {
  const char* moment;
  hl::Fault fault;
  int result;
  std::string message;
};
const GoneCase kGoneCases[] = {
    {"before the existence check", {hl::Op::kGetFileAttribs, "C:\\MEDIA\\b.txt"}, -1,
     "I couldn't find the file 'b.txt.'"},
    {"between the check and the copy", {hl::Op::kCopyFile, "C:\\MEDIA\\b.txt"}, 0,
     "I couldn't copy b.txt to C:\\Games\\Brackenvue\\b.txt."},
};
using FileGoneAfterTheLoadTest = FaultsTableTest<GoneCase>;

TEST_P(FileGoneAfterTheLoadTest, LeavesAnEarlierInstallationAsItWas) {
  const GoneCase& c = GetParam();
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
    hl::AddFile(std::string("C:\\MEDIA\\") + name, std::string("new ") + name);
    hl::AddFile(Installed(name), std::string("old ") + name);
  }
  hl::AddFile("C:\\MEDIA\\setup.inf", "3\r\na.txt A\r\nb.txt B\r\nc.txt C\r\n");
  hl::InjectFault(c.fault);
  EXPECT_EQ(RunInstall(), c.result);
  EXPECT_EQ(Error(), c.message);
  EXPECT_EQ(hl::ReadContent(Installed("a.txt")), "new a.txt");
  EXPECT_EQ(hl::ReadContent(Installed("b.txt")), "old b.txt");
  EXPECT_EQ(hl::ReadContent(Installed("c.txt")), "old c.txt");
  EXPECT_TRUE(hl::CallsOf(hl::Op::kDeleteFile).empty());
  EXPECT_TRUE(hl::LastDialog(129)->destroyed);
}
INSTANTIATE_TEST_SUITE_P(Faults, FileGoneAfterTheLoadTest, ::testing::ValuesIn(kGoneCases));

// A read error after 3 bytes of b.txt. A new b.txt that holds 3 bytes would
// look installed, so it is removed; an earlier installation's b.txt was never
// cut (the copy replaces it only when complete) and stays whole. The file
// after it is not touched. The parameter: an earlier installation is there.
using MediumErrorPartWayTest = FaultsTableTest<bool>;

TEST_P(MediumErrorPartWayTest, LeavesNoHalfFile) {
  const bool earlier = GetParam();
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
    hl::AddFile(std::string("C:\\MEDIA\\") + name, std::string("new content of ") + name);
  }
  if (earlier) hl::AddFile(Installed("b.txt"), "old b.txt");
  hl::AddFile(Installed("c.txt"), "old c.txt");
  hl::AddFile("C:\\MEDIA\\setup.inf", "3\r\na.txt A\r\nb.txt B\r\nc.txt C\r\n");
  hl::Fault fault{hl::Op::kCopyFile, "C:\\MEDIA\\b.txt"};
  fault.partialBytes = 3;
  hl::InjectFault(fault);

  EXPECT_EQ(RunInstall(), 0);
  EXPECT_EQ(Error(), "I couldn't copy b.txt to C:\\Games\\Brackenvue\\b.txt.");
  EXPECT_EQ(hl::ReadContent(Installed("a.txt")), "new content of a.txt");
  if (earlier) {
    EXPECT_EQ(hl::ReadContent(Installed("b.txt")), "old b.txt");
    EXPECT_TRUE(hl::CallsOf(hl::Op::kDeleteFile).empty());
  } else {
    EXPECT_FALSE(hl::Exists(Installed("b.txt")));
  }
  EXPECT_EQ(hl::ReadContent(Installed("c.txt")), "old c.txt");
  EXPECT_FALSE(hl::Exists(std::string(kProgramFolder) + "\\A.lnk"));
}
INSTANTIATE_TEST_SUITE_P(Faults, MediumErrorPartWayTest, ::testing::Bool());

// ---- 70,000 entries -------------------------------------------------------------------

// A medium of `entries` entries that all name the same one-byte file.
void LargeMedium(int entries) {
  hl::AddFile("C:\\MEDIA\\a.txt", "a");
  std::string manifest = std::to_string(entries) + "\r\n";
  for (int i = 0; i < entries; ++i) manifest += "a.txt A\r\n";
  hl::AddFile("C:\\MEDIA\\setup.inf", manifest);
}

struct Cost {
  size_t calls;       // platform calls made
  size_t tableBytes;  // the block holding the manifest table
};

// The platform calls each doubling costs, at two sizes: the same number of
// calls per entry means nothing goes back over earlier entries (reopening
// the manifest, re-testing directories, searching the table). Only the
// fixed calls of a load or run are not doubled.
void ExpectLinear(const char* what, const Cost& half, const Cost& full) {
  const long long fixed = 2 * static_cast<long long>(half.calls) - static_cast<long long>(full.calls);
  EXPECT_GE(fixed, 0) << what << ": " << half.calls << " calls, then " << full.calls << " for twice the entries";
  EXPECT_LT(fixed, 100) << what << ": " << half.calls << " calls, then " << full.calls << " for twice the entries";
}

TEST_F(FaultsTest, SeventyThousandEntriesCostTwiceWhatThirtyFiveThousandDo) {
  // The load at the full size: calls and memory in proportion to the count.
  auto load = [this](int entries) {
    FreshStart();
    SetUp();
    LargeMedium(entries);
    hl::ClearCalls();
    EXPECT_EQ(LoadManifest(), 1);
    EXPECT_EQ(hl::OpenFileCount(), 0);
    return Cost{hl::Calls().size(), malloc_usable_size(g_installState.entries)};
  };
  const Cost half = load(35000);
  const Cost full = load(70000);
  ExpectLinear("LoadManifest", half, full);
  // The table is one block of 256 bytes a row, and nothing else grows with it.
  EXPECT_GE(full.tableBytes, 70000u * 256u);
  EXPECT_LT(full.tableBytes, 70000u * 256u + 4096u);

  // The whole run: the same per-entry cost at 7,000 and 14,000 entries (the
  // range and positions of a run of 70,000 are shown by the install-run
  // tests; a full run of that size is slow in the model, not in the engine).
  auto run = [this](int entries) {
    FreshStart();
    SetUp();
    LargeMedium(entries);
    hl::ClearCalls();
    EXPECT_EQ(RunInstall(), 1) << Error();
    return Cost{hl::Calls().size(), malloc_usable_size(g_installState.entries)};
  };
  ExpectLinear("RunInstall", run(7000), run(14000));
}

// ---- A Programs folder near 260 characters ---------------------------------------------------

TEST_F(FaultsTest, ProgramsFolderNear260CharactersStopsTheRunWithNothingMade) {
  // The Install command cuts the folder text so that the program folder
  // stays within 259 characters; the links in a folder that long cannot fit,
  // so the run stops before anything is made, in particular no folder of
  // the cut name. (Wine's Programs folder cannot be moved that deep without
  // rewriting the prefix's shell folders; the model can.)
  const std::string programs = "C:\\" + std::string(250, 'p');
  hl::AddDir(programs);
  hl::SetProgramsFolder(programs);
  hl::AddFile("C:\\MEDIA\\a.txt", "a");
  hl::AddFile("C:\\MEDIA\\setup.inf", "1\r\na.txt A\r\n");
  const std::string cut = (programs + "\\Brackenvue").substr(0, 259);
  std::vector<std::string> before;

  CInstallApp app;
  hl::QueueModalStep([&](CDialog& d) {
    before = hl::ListAll();
    hl::Click(d, 1006);
    hl::Click(d, 2);
  });
  AfxRunApplication();

  EXPECT_EQ(std::string(g_installState.programFolder), cut);
  ASSERT_EQ(hl::MessageBoxes().size(), 1u);
  // However long the path, the message keeps its instruction: the path is
  // shortened in its middle, keeping its start and its end.
  const std::string text = hl::MessageBoxes()[0].text;
  const std::string head = "The program folder is too long:\n" + cut.substr(0, 40);
  const std::string tail = cut.substr(cut.size() - 40) + "\nPlease choose a shorter name.";
  EXPECT_LE(text.size(), 255u);
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  EXPECT_NE(text.find("..."), std::string::npos);
  EXPECT_EQ(hl::ListAll(), before);
  EXPECT_EQ(hl::LastDialog(129), nullptr);
}

// ---- Start-up ----------------------------------------------------------------------------

TEST(FaultsStartUpTest, DllSearchIsRestrictedBeforeAnythingElseHappens) {
  // Before the error mode, the common controls or the first window: every
  // later load of a DLL by name must already miss the medium's directory.
  struct App : CWinApp {
    App() : CWinApp("INSTALL") {}
    bool InitInstance() override {
      callsAtInit = hl::Calls().size();
      return false;
    }
    size_t callsAtInit = 0;
  } app;
  AfxRunApplication();
  const std::vector<hl::Call>& calls = hl::Calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0].op, hl::Op::kHardenDllSearch) << hl::DumpCalls();
  EXPECT_EQ(calls[1].op, hl::Op::kErrorMode) << hl::DumpCalls();
  EXPECT_EQ(app.callsAtInit, 2u);
  EXPECT_EQ(hl::CallsOf(hl::Op::kHardenDllSearch).size(), 1u);
}

}  // namespace
