// The headless machine itself: the rules every other native test builds on.
// A mistake here would make an engine or dialog test pass or fail for the
// wrong reason, so these pin down the Windows behaviour the model stands for.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/framework.h"
#include "platform/framework_backend.h"
#include "platform/headless/headless.h"
#include "platform/services.h"

namespace {

constexpr uint32_t kDir = plat::kFileAttributeDirectory;

// ---- Paths ---------------------------------------------------------------------------
//
// What Windows does with paths and files is checked by the shared cases
// (tests/shared/fs_cases.cpp), which run here and under Wine. What follows is
// the model's own: drives a test adds.

TEST(HeadlessPathTest, ASecondDriveTakesDirectoriesButNotItsRoot) {
  hl::AddDrive('E');
  EXPECT_FALSE(plat::CreateDir("E:\\"));
  EXPECT_TRUE(plat::CreateDir("E:\\OnE"));
  EXPECT_EQ(plat::GetFileAttribs("E:\\OnE"), kDir);
  EXPECT_EQ(plat::GetFileAttribs("e:\\"), kDir);
}

// ---- Copying and free space -------------------------------------------------------------

class HeadlessCopyTest : public testing::Test {
 protected:
  void SetUp() override {
    hl::AddFile("C:\\MEDIA\\sixty.bin", std::string(60, 's'));
    hl::AddFile("C:\\MEDIA\\other.bin", std::string(60, 'o'));
    hl::AddDir("C:\\Dest");
    hl::SetFreeBytes(100);
  }
  static plat::CopyResult Copy(const char* src, const char* dst) { return plat::CopyFileOver(src, dst); }
};

TEST_F(HeadlessCopyTest, FreeSpaceFollowsWritesOverwritesAndDeletes) {
  EXPECT_EQ(Copy("sixty.bin", "C:\\Dest\\a.bin"), plat::CopyResult::kCopied);
  EXPECT_EQ(hl::FreeBytes(), 40u);
  // Overwriting writes the whole new file beside the old one first: with
  // room for less, the old file stays as it was.
  EXPECT_EQ(Copy("other.bin", "C:\\Dest\\A.BIN"), plat::CopyResult::kFailed);
  EXPECT_EQ(hl::ReadContent("C:\\Dest\\a.bin"), std::string(60, 's'));
  EXPECT_EQ(hl::FreeBytes(), 40u);
  hl::SetFreeBytes(60);
  EXPECT_EQ(Copy("other.bin", "C:\\Dest\\A.BIN"), plat::CopyResult::kCopied);
  EXPECT_EQ(hl::ReadContent("C:\\Dest\\a.bin"), std::string(60, 'o'));
  EXPECT_EQ(hl::FreeBytes(), 60u);
  hl::SetFreeBytes(40);

  // A full disk: what fits is written, the rest is missing.
  EXPECT_EQ(Copy("sixty.bin", "C:\\Dest\\b.bin"), plat::CopyResult::kFailedPartial);
  EXPECT_EQ(hl::ReadContent("C:\\Dest\\b.bin"), std::string(40, 's'));
  EXPECT_EQ(hl::FreeBytes(), 0u);

  uint64_t reported = 7;
  ASSERT_TRUE(plat::GetFreeBytes("C:\\Dest", &reported));
  EXPECT_EQ(reported, 0u);

  EXPECT_TRUE(plat::DeleteFileAt("C:\\Dest\\a.bin"));
  EXPECT_EQ(hl::FreeBytes(), 60u);
  EXPECT_FALSE(plat::DeleteFileAt("C:\\Dest\\a.bin"));
}

TEST_F(HeadlessCopyTest, SizedFilesCostNoMemoryAndCountFully) {
  const uint64_t fiveGiB = uint64_t{5} << 30;
  hl::AddSizedFile("C:\\MEDIA\\huge.dat", fiveGiB);
  hl::SetFreeBytes(uint64_t{6} << 30);
  EXPECT_EQ(Copy("huge.dat", "C:\\Dest\\huge.dat"), plat::CopyResult::kCopied);
  EXPECT_EQ(hl::FileSize("C:\\Dest\\huge.dat"), fiveGiB);
  EXPECT_EQ(hl::FreeBytes(), uint64_t{1} << 30);
  EXPECT_EQ(Copy("huge.dat", "C:\\Dest\\again.dat"), plat::CopyResult::kFailedPartial);
  EXPECT_EQ(hl::FileSize("C:\\Dest\\again.dat"), uint64_t{1} << 30);
  EXPECT_EQ(hl::FreeBytes(), 0u);
}

// The other failed copies are shared cases; an unreadable source and a
// read-only destination are the model's own.
TEST_F(HeadlessCopyTest, UnreadableSourceOrReadOnlyDestinationWritesNothing) {
  hl::AddFile("C:\\Dest\\kept.bin", "old");
  hl::SetUnreadable("C:\\MEDIA\\other.bin");
  hl::AddFile("C:\\Dest\\locked.bin", "read-only");
  hl::SetAttributes("C:\\Dest\\locked.bin", 0x1);
  const std::vector<std::string> before = hl::ListAll();
  EXPECT_EQ(Copy("other.bin", "C:\\Dest\\kept.bin"), plat::CopyResult::kFailed);
  EXPECT_EQ(Copy("other.bin", "C:\\Dest\\new.bin"), plat::CopyResult::kFailed);
  // Onto a read-only file: refused, as CopyFileA refuses on Windows (the
  // Windows backend checks the bit itself, since Wine would replace the file).
  EXPECT_EQ(Copy("sixty.bin", "C:\\Dest\\locked.bin"), plat::CopyResult::kFailed);
  EXPECT_EQ(hl::ListAll(), before);
  EXPECT_EQ(hl::ReadContent("C:\\Dest\\kept.bin"), "old");
  EXPECT_EQ(hl::ReadContent("C:\\Dest\\locked.bin"), "read-only");
  EXPECT_EQ(hl::FreeBytes(), 100u);
}

TEST_F(HeadlessCopyTest, FaultsFailBeforeOrPartWay) {
  hl::AddFile("C:\\Dest\\kept.bin", "old");
  hl::InjectFault({hl::Op::kCopyFile, "c:\\media\\SIXTY.BIN"});  // matched on the resolved source
  EXPECT_EQ(Copy("sixty.bin", "C:\\Dest\\kept.bin"), plat::CopyResult::kFailed);
  EXPECT_EQ(hl::ReadContent("C:\\Dest\\kept.bin"), "old");

  // Part-way over an earlier file: the new content never reached its name,
  // so the earlier file stays whole. Onto a new name: the partial file stays
  // for the caller.
  hl::Fault partWay{hl::Op::kCopyFile, "C:\\MEDIA\\sixty.bin"};
  partWay.partialBytes = 10;
  partWay.times = 2;
  hl::InjectFault(partWay);
  EXPECT_EQ(Copy("sixty.bin", "C:\\Dest\\kept.bin"), plat::CopyResult::kFailed);
  EXPECT_EQ(hl::ReadContent("C:\\Dest\\kept.bin"), "old");
  EXPECT_EQ(hl::FreeBytes(), 100u);
  EXPECT_EQ(Copy("sixty.bin", "C:\\Dest\\new.bin"), plat::CopyResult::kFailedPartial);
  EXPECT_EQ(hl::ReadContent("C:\\Dest\\new.bin"), std::string(10, 's'));
  EXPECT_EQ(hl::FreeBytes(), 90u);

  EXPECT_EQ(Copy("sixty.bin", "C:\\Dest\\kept.bin"), plat::CopyResult::kCopied);  // the faults used up
  EXPECT_FALSE(hl::CallsOf(hl::Op::kPumpPaint).empty());
}

TEST_F(HeadlessCopyTest, FaultsSkipAndCountMatchingCallsOnly) {
  hl::Fault fault{hl::Op::kOpenForRead, "C:\\MEDIA\\sixty.bin"};
  fault.skip = 1;
  fault.times = 2;
  hl::InjectFault(fault);
  std::vector<bool> opened;
  for (const char* path : {"other.bin", "sixty.bin", "other.bin", "SIXTY.bin", "\\MEDIA\\sixty.bin", "sixty.bin"}) {
    plat::FileReader* file = plat::OpenForRead(path);
    opened.push_back(file != nullptr);
    plat::CloseFile(file);
  }
  EXPECT_EQ(opened, (std::vector<bool>{true, true, true, false, false, true}));
  EXPECT_EQ(hl::OpenFileCount(), 0);
}

TEST_F(HeadlessCopyTest, ReadFaultDeliversItsBytesThenFails) {
  hl::Fault fault{hl::Op::kReadBytes, "C:\\MEDIA\\sixty.bin"};
  fault.value = 25;
  hl::InjectFault(fault);
  plat::FileReader* file = plat::OpenForRead("sixty.bin");
  ASSERT_NE(file, nullptr);
  char buf[20];
  EXPECT_EQ(plat::ReadBytes(file, buf, 20), 20);
  EXPECT_EQ(plat::ReadBytes(file, buf, 20), 5);
  EXPECT_EQ(plat::ReadBytes(file, buf, 20), -1);
  uint64_t length = 0;
  EXPECT_TRUE(plat::GetFileLength(file, &length));
  EXPECT_EQ(length, 60u);
  plat::CloseFile(file);
}

// ---- Listing ------------------------------------------------------------------------------

std::vector<std::string> List(const char* pattern, int* dirs = nullptr) {
  std::vector<std::string> names;
  plat::FindData data;
  plat::FindState* find = plat::FindFirst(pattern, &data);
  if (!find) return {"<none>"};
  do {
    names.push_back(data.name);
    if (dirs && (data.attributes & plat::kFileAttributeDirectory)) ++*dirs;
  } while (plat::FindNext(find, &data));
  plat::FindEnd(find);
  return names;
}

// Listings match names as Windows does (shared cases); the order is the
// model's own, so that code which forgets to sort is caught.
TEST(HeadlessFindTest, DotsFirstThenChildrenInCreationOrder) {
  const std::string programs = hl::ProgramsFolder();
  hl::AddDir(programs + "\\zeta");
  hl::AddDir(programs + "\\Alpha");
  hl::AddFile(programs + "\\Notepad.lnk", "");
  hl::AddDir(programs + "\\beta");
  int dirs = 0;
  EXPECT_EQ(List((programs + "\\*.*").c_str(), &dirs),
            (std::vector<std::string>{".", "..", "zeta", "Alpha", "Notepad.lnk", "beta"}));
  EXPECT_EQ(dirs, 5);
  hl::AddDir("C:\\Empty");
  // A root has no "." and ".." entries.
  EXPECT_EQ(List("C:\\*.*"), (std::vector<std::string>{"WINDOWS", "MEDIA", "Users", "Empty"}));
  EXPECT_EQ(hl::OpenFindCount(), 0);
}

// ---- Shell links and programs --------------------------------------------------------------

TEST(HeadlessShellTest, SavedLinkReadsBackAndAMissingFolderFailsTheSave) {
  plat::ShellLink* link = nullptr;
  ASSERT_EQ(plat::CreateShellLink(&link), plat::kSOk);
  EXPECT_EQ(plat::ShellLinkSetPath(link, "C:\\App\\app.exe"), plat::kSOk);
  EXPECT_EQ(plat::ShellLinkSetDescription(link, "Brackenvue"), plat::kSOk);
  EXPECT_EQ(plat::ShellLinkSetWorkingDirectory(link, "C:\\App"), plat::kSOk);
  plat::PersistFile* file = nullptr;
  ASSERT_EQ(plat::ShellLinkQueryPersistFile(link, &file), plat::kSOk);

  const std::string good = hl::ProgramsFolder() + "\\App.lnk";
  char16_t wide[plat::kMaxPath];
  ASSERT_EQ(plat::AnsiToWide(good.c_str(), wide, plat::kMaxPath), static_cast<int>(good.size()) + 1);
  EXPECT_EQ(plat::AnsiToWide(good.c_str(), wide, static_cast<int>(good.size())), 0);  // no room for the terminator
  EXPECT_EQ(plat::PersistFileSave(file, wide, true), plat::kSOk);

  char16_t missing[64];
  ASSERT_GT(plat::AnsiToWide("C:\\NoFolder\\App.lnk", missing, 64), 0);
  EXPECT_LT(plat::PersistFileSave(file, missing, true), 0);
  EXPECT_FALSE(hl::Exists("C:\\NoFolder\\App.lnk"));

  plat::PersistFileRelease(file);
  EXPECT_EQ(hl::LiveComObjectCount(), 1);  // the link itself is still held
  plat::ShellLinkRelease(link);
  EXPECT_EQ(hl::LiveComObjectCount(), 0);

  std::optional<hl::LinkRecord> record = hl::ReadLink(good);
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(record->target, "C:\\App\\app.exe");
  EXPECT_EQ(record->description, "Brackenvue");
  EXPECT_EQ(record->workingDirectory, "C:\\App");
}

TEST(HeadlessShellTest, StartProgramResolvesNamesAndJoinsArguments) {
  hl::AddFile("C:\\MEDIA\\directx.exe", "MZ");
  hl::AddFile("C:\\MEDIA\\tool.exe", "MZ");
  hl::SetChildExitCode(3);
  const char* notepad[] = {"C:\\WINDOWS\\notepad.exe", "C:\\Program Files\\App\\read me.txt", nullptr};
  EXPECT_EQ(plat::StartProgram(false, notepad[0], notepad), 0);
  const char* directx[] = {"directx.exe", nullptr};
  EXPECT_EQ(plat::StartProgram(true, "directx.exe", directx), 3);
  const char* tool[] = {"tool", "/q", nullptr};
  EXPECT_EQ(plat::StartProgram(true, "tool", tool), 3);  // found with its extension
  const char* missing[] = {"setup.exe", nullptr};
  EXPECT_EQ(plat::StartProgram(true, "setup.exe", missing), -1);

  const auto& started = hl::StartedPrograms();
  ASSERT_EQ(started.size(), 3u);
  EXPECT_EQ(started[0].program, "C:\\WINDOWS\\notepad.exe");
  EXPECT_EQ(started[0].commandLine, "C:\\WINDOWS\\notepad.exe C:\\Program Files\\App\\read me.txt");
  EXPECT_FALSE(started[0].waited);
  EXPECT_EQ(started[1].program, ".\\directx.exe");
  EXPECT_EQ(started[1].commandLine, "directx.exe");
  EXPECT_TRUE(started[1].waited);
  EXPECT_EQ(started[2].program, ".\\tool");
}

// ---- Windows -------------------------------------------------------------------------------

TEST(HeadlessWindowTest, ComboBoxSortsIgnoringCaseAndSelectsByPrefix) {
  CDialog dialog;
  ASSERT_TRUE(dialog.Create(102));
  CComboBox box;
  box.m_hWnd = fw::GetDlgItemHandle(dialog.m_hWnd, 1001);
  ASSERT_NE(box.m_hWnd, nullptr);
  EXPECT_EQ(box.AddString("zeta"), 0);
  EXPECT_EQ(box.AddString("Alpha"), 0);
  EXPECT_EQ(box.AddString("beta"), 1);
  EXPECT_EQ(box.AddString("Beta Two"), 2);
  EXPECT_EQ(hl::Get(box.m_hWnd)->items, (std::vector<std::string>{"Alpha", "beta", "Beta Two", "zeta"}));
  EXPECT_EQ(box.GetLBText(3), "zeta");
  EXPECT_EQ(box.GetLBText(4), "");

  auto select = [&box](const char* text) {
    return box.SendMessage(fw::kCbSelectString, static_cast<uintptr_t>(-1), reinterpret_cast<intptr_t>(text));
  };
  box.SetWindowText("typed");
  EXPECT_EQ(select("q"), fw::kCbErr);
  EXPECT_EQ(hl::Get(box.m_hWnd)->text, "typed");  // no match changes nothing
  EXPECT_EQ(box.SendMessage(fw::kCbGetCurSel), -1);
  EXPECT_EQ(select("BETA"), 1);
  EXPECT_EQ(hl::Get(box.m_hWnd)->text, "beta");
  EXPECT_EQ(box.SendMessage(fw::kCbGetCurSel), 1);
  EXPECT_EQ(select("ta"), fw::kCbErr);  // a prefix, not a substring

  // A template's controls are the only ones there are.
  EXPECT_EQ(fw::GetDlgItemHandle(dialog.m_hWnd, 1004), nullptr);
}

TEST(HeadlessWindowTest, ProgressBarKeepsSixteenBitRangeAndClampsPosition) {
  CDialog dialog;
  ASSERT_TRUE(dialog.Create(129));
  EXPECT_FALSE(hl::Get(dialog.m_hWnd)->visible);  // template 129 is not WS_VISIBLE
  CProgressCtrl bar;
  bar.m_hWnd = fw::GetDlgItemHandle(dialog.m_hWnd, 1004);
  EXPECT_EQ(bar.SendMessage(fw::kPbmSetRange, 0, fw::MakeLParam(0, 70000)), fw::MakeLParam(0, 100));
  EXPECT_EQ(hl::Get(bar.m_hWnd)->rangeHigh, 70000 - 65536);
  EXPECT_EQ(bar.SendMessage(fw::kPbmSetPos, 3), 0);
  EXPECT_EQ(bar.SendMessage(fw::kPbmSetPos, 9000), 3);
  EXPECT_EQ(bar.SendMessage(fw::kPbmGetPos), 70000 - 65536);
  EXPECT_EQ(hl::Get(bar.m_hWnd)->sent.size(), 4u);
}

class ScriptedDialog : public CDialog {
 public:
  explicit ScriptedDialog(bool endInInit) : CDialog(102), endInInit_(endInInit) {}
  bool OnInitDialog() override {
    CDialog::OnInitDialog();
    if (endInInit_) {
      EndDialog(fw::kIdCancel);
      return false;
    }
    return true;
  }
  bool OnCommand(int id, int notifyCode) override {
    if (id == 1006) {
      answer = MessageBox("Go on?", nullptr, fw::kMbYesNo);
      if (answer == fw::kIdYes) EndDialog(0);
      return true;
    }
    return CDialog::OnCommand(id, notifyCode);
  }
  int answer = 0;

 private:
  bool endInInit_;
};

TEST(HeadlessWindowTest, EndDialogDuringInitEndsTheRunUnshown) {
  bool stepRan = false;
  hl::QueueModalStep([&stepRan](CDialog&) { stepRan = true; });
  ScriptedDialog dialog(true);
  EXPECT_EQ(dialog.DoModal(), fw::kIdCancel);
  EXPECT_FALSE(stepRan);
  hl::Window* window = hl::LastDialog(102);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->destroyed);
  EXPECT_EQ(hl::ActiveWindow(), nullptr);  // never shown, never active
  EXPECT_EQ(hl::FocusWindow(), nullptr);
  EXPECT_TRUE(hl::CallsOf(hl::Op::kShowWindow).empty());
}

TEST(HeadlessWindowTest, ModalStepsRunUntilTheDialogEnds) {
  hl::QueueMessageBoxAnswer(fw::kIdNo);
  std::vector<std::string> seen;
  hl::QueueModalStep([&seen](CDialog& dlg) {
    hl::Window* window = hl::Get(dlg.m_hWnd);
    seen.push_back(window->visible ? "visible" : "hidden");
    seen.push_back(hl::FocusWindow() == hl::Child(window, 1000) ? "focus 1000" : "focus elsewhere");
    hl::Type(dlg, 1000, "D:\\Apps");
    hl::Click(dlg, 1006);  // answered No: stays open
  });
  hl::QueueModalStep([&seen](CDialog& dlg) {
    seen.push_back(hl::TextOf(dlg, 1000));
    hl::Click(dlg, 1006);  // unscripted Yes/No box: Yes
  });
  hl::QueueModalStep([&seen](CDialog&) { seen.push_back("not reached"); });

  ScriptedDialog dialog(false);
  EXPECT_EQ(dialog.DoModal(), 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"visible", "focus 1000", "D:\\Apps"}));
  ASSERT_EQ(hl::MessageBoxes().size(), 2u);
  EXPECT_EQ(hl::MessageBoxes()[0].answer, fw::kIdNo);
  EXPECT_EQ(hl::MessageBoxes()[1].answer, fw::kIdYes);
  EXPECT_EQ(hl::MessageBoxes()[1].owner, reinterpret_cast<fw::WindowHandle>(hl::LastDialog(102)));
  EXPECT_EQ(hl::MessageBoxes()[1].type, fw::kMbYesNo);
  EXPECT_TRUE(hl::LastDialog(102)->destroyed);

  // The step left over runs in the next loop; with none left the loop gives up.
  ScriptedDialog second(false);
  EXPECT_EQ(second.DoModal(), hl::kScriptExhausted);
  EXPECT_EQ(seen.back(), "not reached");
  EXPECT_TRUE(hl::LastDialog(102)->destroyed);
}

TEST(HeadlessWindowTest, LogRecordsWindowsAndMessagesInOrder) {
  CDialog dialog;
  ASSERT_TRUE(dialog.Create(129));
  hl::ClearCalls();
  CStatic status;
  status.m_hWnd = fw::GetDlgItemHandle(dialog.m_hWnd, 1005);
  status.SetWindowText("Copying files...");
  fw::Send(fw::GetDlgItemHandle(dialog.m_hWnd, 1004), fw::kPbmSetPos, 2, 0);
  dialog.DestroyWindow();
  std::vector<std::string> log;
  for (const hl::Call& call : hl::Calls()) log.push_back(std::string(hl::OpName(call.op)) + " " + call.arg1 + " " + call.arg2);
  EXPECT_EQ(log, (std::vector<std::string>{"SetText ctl1005 Copying files...", "SendMessage ctl1004 0x402 2 0",
                                           "DestroyWindow dlg129 "}));
  EXPECT_TRUE(hl::Get(status.m_hWnd)->destroyed);  // children go with their dialog
  status.m_hWnd = nullptr;
}

}  // namespace
