// The install dialog on the headless backend: start-up, the exits, and the
// Install command with its boxes and completion actions, driven through the
// real application object and the real install run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "app/install_app.h"
#include "engine/install_state.h"
#include "platform/framework_backend.h"
#include "platform/headless/headless.h"
#include "ui/install_dlg.h"

namespace {

const char kPrograms[] = "C:\\Users\\user\\Start Menu\\Programs";
const char kDefaultDir[] = "C:\\Program Files\\Brackenvue";

const char kCompleted[] =
    "The installation is complete. To run Brackenvue, choose\n"
    "Start Menu, then Programs, then Brackenvue.";
const char kReadmeNotice[] =
    "Information about the new release will now be displayed.\n"
    "Please read it! Please! Pleeeeeease!";
const char kDirectXQuestion[] =
    "DirectX is required to run Brackenvue. Do you want\n"
    "to install it now? If you aren't sure, press Yes -\n"
    "it won't harm anything if DirectX is already installed.";

struct Box {
  bool owned;  // by the install dialog; false: no owner
  std::string caption, text;
  unsigned type;
  bool operator==(const Box& o) const {
    return owned == o.owned && caption == o.caption && text == o.text && type == o.type;
  }
};
void PrintTo(const Box& b, std::ostream* os) {
  *os << "{" << (b.owned ? "owned" : "no owner") << ", \"" << b.caption << "\", \"" << b.text << "\", 0x" << std::hex
      << b.type << std::dec << "}";
}
using Boxes = std::vector<Box>;

Box ErrorBox(const std::string& text) { return {false, "Error", text, 0x10u}; }
Box AppBox(const std::string& text, unsigned type) { return {true, "INSTALL", text, type}; }

// The record lives for the process in the product; every test here is a
// fresh process run (FreshStart, in the test main).
class InstallDlgTest : public ::testing::Test {
 protected:

  // A medium in C:\MEDIA (the current directory): setup.inf and its files.
  static void Medium(const std::string& manifest, const std::vector<std::string>& files) {
    hl::AddFile("C:\\MEDIA\\setup.inf", manifest);
    for (const std::string& name : files) hl::AddFile("C:\\MEDIA\\" + name, "content of " + name);
  }

  // Runs the installer: the framework's start-up with the application object.
  int Run() { return AfxRunApplication(); }

  static hl::Window* Dialog() { return hl::LastDialog(102); }

  static std::vector<Box> Shown() {
    std::vector<Box> boxes;
    hl::Window* dialog = Dialog();
    for (const hl::MessageBoxRecord& r : hl::MessageBoxes()) {
      EXPECT_TRUE(r.owner == nullptr || hl::Get(r.owner) == dialog) << r.text;
      boxes.push_back({r.owner != nullptr, r.caption, r.text, r.type});
    }
    return boxes;
  }

  // Presses Install inside the running dialog, then leaves with Exit if the
  // press left the dialog open.
  static void QueueInstallPress() {
    hl::QueueModalStep([](CDialog& d) { hl::Click(d, 1006); });
    hl::QueueModalStep([](CDialog& d) { hl::Click(d, 2); });
  }

  CInstallApp app_;
};


// ---- Start-up ---------------------------------------------------------------------

TEST_F(InstallDlgTest, StartUpListsProgramsSubFoldersAndPresetsTheFields) {
  // Created in this order on purpose: the listing returns creation order, the
  // box must sort (ignoring case).
  for (const char* name : {"zeta", "Startup", ".cache", "Alpha", "beta", "Brackenvue"}) {
    hl::AddDir(std::string(kPrograms) + "\\" + name);
  }
  hl::AddFile(std::string(kPrograms) + "\\Notepad.lnk", "link");
  // Start-menu folders customised with a desktop.ini carry the read-only or
  // system bit, some are hidden: each is still a folder to offer. The
  // desktop.ini itself is a hidden system file, not a folder.
  hl::AddDir(std::string(kPrograms) + "\\Accessories");
  hl::SetAttributes(std::string(kPrograms) + "\\Accessories", 0x1 | 0x4);
  hl::AddDir(std::string(kPrograms) + "\\Tools");
  hl::SetAttributes(std::string(kPrograms) + "\\Tools", 0x2);
  hl::AddFile(std::string(kPrograms) + "\\desktop.ini", "[.ShellClassInfo]");
  hl::SetAttributes(std::string(kPrograms) + "\\desktop.ini", 0x2 | 0x4);
  std::vector<std::string> before = hl::ListAll();

  bool stepRan = false;
  hl::QueueModalStep([&](CDialog& d) {
    stepRan = true;
    hl::Window* combo = hl::Child(Dialog(), 1001);
    EXPECT_EQ(combo->items,
              (std::vector<std::string>{"Accessories", "Alpha", "beta", "Brackenvue", "Startup", "Tools", "zeta"}));
    EXPECT_EQ(combo->text, "Brackenvue");
    EXPECT_EQ(combo->selected, -1) << "the default text must not select the list item";
    EXPECT_EQ(hl::TextOf(d, 1000), kDefaultDir);
    EXPECT_EQ(hl::FocusWindow(), hl::Child(Dialog(), 1000));
    EXPECT_TRUE(Dialog()->visible);
    // The framework's main window is the dialog.
    EXPECT_EQ(AfxGetMainWnd(), &d);
    hl::Click(d, 2);
  });
  Run();

  ASSERT_TRUE(stepRan);
  hl::Window* dialog = Dialog();
  EXPECT_EQ(dialog->owner, nullptr);
  // WM_SETICON big, then small, both with the application icon.
  std::vector<hl::Message> icons;
  for (const hl::Message& m : dialog->sent) {
    if (m.msg == fw::kWmSetIcon) icons.push_back(m);
  }
  ASSERT_EQ(icons.size(), 2u);
  EXPECT_EQ(icons[0].wParam, fw::kIconBig);
  EXPECT_EQ(icons[1].wParam, fw::kIconSmall);
  EXPECT_NE(icons[0].lParam, 0);
  EXPECT_EQ(icons[0].lParam, icons[1].lParam);

  EXPECT_TRUE(hl::MessageBoxes().empty());
  EXPECT_EQ(hl::ListAll(), before);
  EXPECT_EQ(hl::OpenFindCount(), 0);
}

TEST_F(InstallDlgTest, EmptyProgramsFolderGivesAnEmptyListAndTheDefaults) {
  hl::QueueModalStep([&](CDialog& d) {
    EXPECT_TRUE(hl::Child(Dialog(), 1001)->items.empty());
    EXPECT_EQ(hl::TextOf(d, 1001), "Brackenvue");
    hl::Click(d, 2);
  });
  Run();
  EXPECT_EQ(Dialog()->endResult, 2);
}

struct UnlistableCase {
  const char* name;
  std::function<void()> arrange;
};

const std::string kLongPrograms = "C:\\" + std::string(253, 'p');  // 256 characters: no room for "\*.*"

const UnlistableCase kUnlistableProgramsFolderEndsBeforeTheDialogIsShownCases[] = {
    {"missing folder", [] { hl::SetProgramsFolder("C:\\Users\\user\\Gone\\Programs"); }},
    {"shell gives no path", [] { hl::SetProgramsFolder(""); }},
    {"listing fails", [] { hl::InjectFault(hl::Fault{hl::Op::kFindFirst, ""}); }},
    {"path too long for the pattern",
     [] {
       hl::AddDir(kLongPrograms);
       hl::SetProgramsFolder(kLongPrograms);
     }},
};
class UnlistableProgramsFolderEndsBeforeTheDialogIsShownTest : public InstallDlgTest, public ::testing::WithParamInterface<UnlistableCase> {};

TEST_P(UnlistableProgramsFolderEndsBeforeTheDialogIsShownTest, Case) {
  const UnlistableCase& c = GetParam();
  SCOPED_TRACE(c.name);
  c.arrange();
  std::vector<std::string> before = hl::ListAll();
  bool stepRan = false;
  hl::QueueModalStep([&](CDialog&) { stepRan = true; });

  Run();

  EXPECT_FALSE(stepRan) << "the dialog must never run its loop";
  EXPECT_EQ(Shown(), (Boxes{ErrorBox("I couldn't read the Programs Directory.")}));
  hl::Window* dialog = Dialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(dialog->visible);
  EXPECT_TRUE(hl::CallsOf(hl::Op::kShowWindow).empty()) << hl::DumpCalls();
  EXPECT_TRUE(dialog->ended);
  EXPECT_EQ(dialog->endResult, 2);
  EXPECT_EQ(hl::ListAll(), before);
  EXPECT_EQ(hl::OpenFindCount(), 0);
}
INSTANTIATE_TEST_SUITE_P(InstallDlg, UnlistableProgramsFolderEndsBeforeTheDialogIsShownTest, ::testing::ValuesIn(kUnlistableProgramsFolderEndsBeforeTheDialogIsShownCases));

TEST_F(InstallDlgTest, CancelEndsAtOnceWritingNothing) {
  // Exit Installation, ESC and the close box all arrive as IDCANCEL.
  Medium("1\napp.exe App\n", {"app.exe"});
  std::vector<std::string> before = hl::ListAll();
  hl::QueueModalStep([](CDialog& d) {
    hl::Type(d, 1000, "C:\\Elsewhere");
    hl::Click(d, 2);
  });
  Run();
  EXPECT_TRUE(Dialog()->ended);
  EXPECT_EQ(Dialog()->endResult, 2);
  EXPECT_TRUE(hl::MessageBoxes().empty());
  EXPECT_EQ(hl::ListAll(), before);
  EXPECT_TRUE(hl::CallsOf(hl::Op::kCreateDialog).size() <= 1u) << "no progress window";
}

// ---- The Install command: paths ------------------------------------------------------

TEST_F(InstallDlgTest, PathsTakenFromTheFields) {
  // Every press stops in the run (no room on the disk), so the dialog stays
  // and the next row can be typed.
  Medium("1\napp.exe App\n", {"app.exe"});
  hl::SetFreeBytes(0);
  const std::string programs = kPrograms;
  const std::string longDir = "C:\\" + std::string(297, 'd');  // 300 characters
  const std::string longFolder(300, 'f');

  struct Row {
    std::string dirField, folderField, installDir, programFolder;
  };
  const Row rows[] = {
      {"C:\\Games\\", "Brackenvue", "C:\\Games", programs + "\\Brackenvue"},
      {"C:\\", "", "C:", programs},
      {"C:\\Games\\\\", "Games\\Brackenvue", "C:\\Games", programs + "\\Games\\Brackenvue"},
      {"", "Games\\", "", programs + "\\Games"},
      {longDir, "\\", longDir.substr(0, 259), programs},
      {"C:\\Games", longFolder, "C:\\Games", (programs + "\\" + longFolder).substr(0, 259)},
  };

  std::vector<std::string> installDirs, programFolders;
  hl::QueueModalStep([&](CDialog& d) {
    for (const Row& row : rows) {
      hl::Type(d, 1000, row.dirField);
      hl::Type(d, 1001, row.folderField);
      hl::Click(d, 1006);
      installDirs.push_back(g_installState.installDir);
      programFolders.push_back(g_installState.programFolder);
    }
    hl::Click(d, 2);
  });
  Run();

  ASSERT_EQ(installDirs.size(), std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE("row " + std::to_string(i));
    EXPECT_EQ(installDirs[i], rows[i].installDir);
    EXPECT_EQ(programFolders[i], rows[i].programFolder);
    EXPECT_LE(programFolders[i].size(), 259u);
  }
  // Every press stopped with the engine's text and the dialog stayed.
  EXPECT_EQ(hl::MessageBoxes().size(), std::size(rows));
  for (const Box& box : Shown()) EXPECT_EQ(box, ErrorBox(box.text));
  EXPECT_EQ(Dialog()->endResult, 2);
}

TEST_F(InstallDlgTest, ProgramsPathWithoutRoomForTheFolderNameIsNeverOverrun) {
  // The Programs folder can change between start-up and Install; a path of
  // 259 characters leaves no room for a backslash or a name.
  const std::string longPrograms = "C:\\" + std::string(256, 'p');
  hl::QueueModalStep([&](CDialog& d) {
    hl::SetProgramsFolder(longPrograms);
    hl::Click(d, 1006);
    EXPECT_EQ(std::string(g_installState.programFolder), longPrograms);
    hl::Click(d, 2);
  });
  Run();
}

// ---- The Install command: results ------------------------------------------------------

TEST_F(InstallDlgTest, StoppedRunReportsOnceKeepsTheDialogAndCanBeRepeated) {
  Medium("2\napp.exe Application\nnotes.txt Notes\n", {"app.exe", "notes.txt"});
  hl::SetFreeBytes(10);  // less than twice the total

  int loadsBeforeRetry = -1;
  hl::QueueModalStep([&](CDialog& d) {
    hl::Type(d, 1000, "C:\\Games\\Brackenvue");
    hl::Type(d, 1001, "Games");
    hl::Click(d, 1006);

    EXPECT_FALSE(Dialog()->ended);
    EXPECT_EQ(Shown(), (Boxes{ErrorBox(
                             "There is not enough space on the destination disk.\nPlease choose another location.")}));
    EXPECT_EQ(hl::TextOf(d, 1000), "C:\\Games\\Brackenvue");
    EXPECT_EQ(hl::TextOf(d, 1001), "Games");
    EXPECT_FALSE(hl::Exists("C:\\Games"));

    loadsBeforeRetry = 0;
    for (const hl::Call& c : hl::CallsOf(hl::Op::kOpenForRead)) loadsBeforeRetry += c.arg1 == "setup.inf";

    // The user makes room and presses again: the whole run repeats.
    hl::SetFreeBytes(uint64_t{1} << 30);
    hl::Click(d, 1006);
  });
  Run();

  int loads = 0;
  for (const hl::Call& c : hl::CallsOf(hl::Op::kOpenForRead)) loads += c.arg1 == "setup.inf";
  EXPECT_EQ(loadsBeforeRetry, 1);
  EXPECT_EQ(loads, 2);
  EXPECT_EQ(hl::ReadContent("C:\\Games\\Brackenvue\\app.exe"), "content of app.exe");
  EXPECT_TRUE(hl::ReadLink(std::string(kPrograms) + "\\Games\\Notes.lnk").has_value());
  EXPECT_EQ(Shown(), (Boxes{
                           ErrorBox("There is not enough space on the destination disk.\nPlease choose another location."),
                           AppBox(kCompleted, 0x40)}));
  EXPECT_TRUE(Dialog()->ended);
  EXPECT_EQ(Dialog()->endResult, 0);
}

TEST_F(InstallDlgTest, FailedRunReportsThenEndsThenSaysItCouldNotComplete) {
  Medium("2\napp.exe Application\nmissing.dat Data\n", {"app.exe"});

  std::vector<bool> endedAtBox;
  std::vector<intptr_t> resultAtBox;
  hl::SetMessageBoxHook([&](const hl::MessageBoxRecord&) {
    endedAtBox.push_back(Dialog()->ended);
    resultAtBox.push_back(Dialog()->endResult);
  });
  QueueInstallPress();
  Run();

  EXPECT_EQ(Shown(), (Boxes{ErrorBox("I can't find the installation file 'missing.dat'"),
                                              AppBox("The installation could not be completed.", 0)}));
  ASSERT_EQ(endedAtBox.size(), 2u);
  EXPECT_FALSE(endedAtBox[0]) << "the dialog ends only after the error box is closed";
  EXPECT_TRUE(endedAtBox[1]);
  EXPECT_EQ(resultAtBox[1], -1);
  EXPECT_EQ(Dialog()->endResult, -1);
  EXPECT_TRUE(hl::StartedPrograms().empty());
}

TEST_F(InstallDlgTest, ErrorBoxesLeaveTheDialogEnabledFrameworkBoxesAreOwned) {
  // ShowErrorBox has no owner; the framework box belongs to the dialog and
  // carries the executable's name as its caption.
  hl::SetModuleName("SETUP");
  Medium("1\nmissing.dat Data\n", {});
  QueueInstallPress();
  Run();
  EXPECT_EQ(Shown(), (Boxes{{false, "Error", "I can't find the installation file 'missing.dat'", 0x10u},
                            {true, "SETUP", "The installation could not be completed.", 0u}}));
}

// ---- The Install command: completion actions ------------------------------------------

struct CompletionCase {
  const char* name;
  const char* directives;         // appended to the manifest
  bool directxOnMedium;
  int answer;                     // to the DirectX question, if asked
  std::vector<std::string> texts;  // the framework boxes after the run, in order
  std::vector<hl::StartedProgram> started;
};

const hl::StartedProgram kNotepad{"C:\\WINDOWS\\notepad.exe",
                                  "C:\\WINDOWS\\notepad.exe C:\\Program Files\\Brackenvue\\readme.txt", false};
const hl::StartedProgram kDirectX{".\\directx.exe", "directx.exe", true};

const CompletionCase kCompletionActionsCases[] = {
    {"readme without DirectX", ".readme readme.txt\n", false, 0, {kCompleted, kReadmeNotice}, {kNotepad}},
    {"readme and DirectX: no readme", ".readme readme.txt\n.directx\n", true, fw::kIdNo,
     {kCompleted, kDirectXQuestion}, {}},
    {"neither", "", true, 0, {kCompleted}, {}},
    {"DirectX answered Yes", ".directx\n", true, fw::kIdYes, {kCompleted, kDirectXQuestion}, {kDirectX}},
    {"DirectX answered No", ".directx\n", true, fw::kIdNo, {kCompleted, kDirectXQuestion}, {}},
    {"DirectX Yes without directx.exe", ".directx\n", false, fw::kIdYes, {kCompleted, kDirectXQuestion}, {}},
};
class CompletionActionsTest : public InstallDlgTest, public ::testing::WithParamInterface<CompletionCase> {};

TEST_P(CompletionActionsTest, Case) {
  const CompletionCase& c = GetParam();
  SCOPED_TRACE(c.name);
  std::vector<std::string> files = {"app.exe", "readme.txt"};
  if (c.directxOnMedium) files.push_back("directx.exe");
  Medium(std::string("2\napp.exe Brackenvue\nreadme.txt Read Me\n") + c.directives, files);
  hl::QueueMessageBoxAnswer(fw::kIdOk);  // completion
  hl::QueueMessageBoxAnswer(c.answer ? c.answer : fw::kIdOk);

  // The progress window is gone before the first box.
  bool progressGoneAtFirstBox = false;
  hl::SetMessageBoxHook([&](const hl::MessageBoxRecord&) {
    if (hl::MessageBoxes().size() == 1) {
      hl::Window* progress = hl::LastDialog(129);
      progressGoneAtFirstBox = progress && progress->destroyed;
    }
  });
  QueueInstallPress();
  Run();

  std::vector<std::string> texts;
  for (const Box& box : Shown()) {
    EXPECT_TRUE(box.owned);
    EXPECT_EQ(box.caption, "INSTALL");
    texts.push_back(box.text);
  }
  EXPECT_EQ(texts, c.texts);
  ASSERT_FALSE(hl::MessageBoxes().empty());
  EXPECT_EQ(hl::MessageBoxes()[0].type, 0x40u);
  for (size_t i = 1; i < hl::MessageBoxes().size(); ++i) {
    EXPECT_EQ(hl::MessageBoxes()[i].type, texts[i] == kDirectXQuestion ? 0x4u : 0x0u);
  }
  EXPECT_TRUE(progressGoneAtFirstBox);

  const auto& started = hl::StartedPrograms();
  ASSERT_EQ(started.size(), c.started.size());
  for (size_t i = 0; i < started.size(); ++i) {
    EXPECT_EQ(started[i].program, c.started[i].program);
    EXPECT_EQ(started[i].commandLine, c.started[i].commandLine);
    EXPECT_EQ(started[i].waited, c.started[i].waited);
  }
  EXPECT_TRUE(Dialog()->ended);
  EXPECT_EQ(Dialog()->endResult, 0);
  EXPECT_TRUE(hl::IsFile(std::string(kDefaultDir) + "\\app.exe"));
}
INSTANTIATE_TEST_SUITE_P(InstallDlg, CompletionActionsTest, ::testing::ValuesIn(kCompletionActionsCases));

// The parameter: the manifest's directives.
class ActivationTest : public InstallDlgTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ActivationTest, DialogIsActivatedAfterEverySuccessBeforeTheDirectXQuestion) {
  const char* directives = GetParam();
  Medium(std::string("1\nreadme.txt Read Me\n") + directives, {"readme.txt"});
  QueueInstallPress();
  Run();

  // In the log: the completion box, (readme notice, Notepad), activation of
  // the dialog, (the DirectX question), and nothing is activated before
  // the completion box.
  std::vector<std::string> sequence;
  for (const hl::Call& c : hl::Calls()) {
    if (c.op == hl::Op::kMessageBox) sequence.push_back("box");
    if (c.op == hl::Op::kActivate && c.arg1 == "dlg102") sequence.push_back("activate");
    if (c.op == hl::Op::kStartProgram) sequence.push_back("start");
  }
  std::vector<std::string> expected = {"box"};
  if (std::strstr(directives, "readme")) expected.insert(expected.end(), {"box", "start"});
  expected.push_back("activate");
  // Yes is the unscripted answer; the start is tried even though the
  // medium has no directx.exe.
  if (std::strstr(directives, "directx")) expected.insert(expected.end(), {"box", "start"});
  EXPECT_EQ(sequence, expected) << hl::DumpCalls();
}
INSTANTIATE_TEST_SUITE_P(InstallDlg, ActivationTest, ::testing::Values("", ".readme readme.txt\n", ".directx\n"));

// A readme name that is not one of the copied files can make the readme path
// longer than 259 characters; so can a long Windows directory.
const std::string kLongDir = "C:\\" + std::string(197, 'd');  // 200 characters

struct NotepadIsNeverStartedOnACutPathCase {
  const char* name;
  std::string installDir, readme, windowsDir;
  bool started;
};
const NotepadIsNeverStartedOnACutPathCase kNotepadIsNeverStartedOnACutPathCases[] = {
    {"fits", kLongDir, std::string(58, 'r'), "C:\\WINDOWS", true},  // exactly 259
    {"readme path too long", kLongDir, std::string(100, 'r'), "C:\\WINDOWS", false},
    {"Windows directory unknown", kDefaultDir, "readme.txt", "", false},
    {"Notepad path too long", kDefaultDir, "readme.txt", "C:\\" + std::string(245, 'w'), false},
};
class NotepadIsNeverStartedOnACutPathTest : public InstallDlgTest, public ::testing::WithParamInterface<NotepadIsNeverStartedOnACutPathCase> {};

TEST_P(NotepadIsNeverStartedOnACutPathTest, Case) {
  const NotepadIsNeverStartedOnACutPathCase& c = GetParam();
  SCOPED_TRACE(c.name);
  if (!c.windowsDir.empty()) hl::AddDir(c.windowsDir);
  hl::SetWindowsDir(c.windowsDir);
  Medium("1\napp.exe App\n.readme " + c.readme + "\n", {"app.exe"});
  hl::QueueModalStep([&](CDialog& d) {
    hl::Type(d, 1000, c.installDir);
    hl::Click(d, 1006);
  });
  Run();

  ASSERT_EQ(hl::MessageBoxes().size(), 2u) << hl::DumpCalls();
  EXPECT_EQ(hl::MessageBoxes()[1].text, kReadmeNotice);
  EXPECT_EQ(hl::CallsOf(hl::Op::kStartProgram).size(), c.started ? 1u : 0u);
  if (c.started) {
    ASSERT_EQ(hl::StartedPrograms().size(), 1u);
    EXPECT_EQ(hl::StartedPrograms()[0].commandLine,
              c.windowsDir + "\\notepad.exe " + c.installDir + "\\" + c.readme);
  }
  EXPECT_EQ(Dialog()->endResult, 0);
}
INSTANTIATE_TEST_SUITE_P(InstallDlg, NotepadIsNeverStartedOnACutPathTest, ::testing::ValuesIn(kNotepadIsNeverStartedOnACutPathCases));

TEST_F(InstallDlgTest, OutOfMemoryInTheHandlerIsReportedAndTheDialogStays) {
  Medium("1\nreadme.txt Read Me\n.readme readme.txt\n", {"readme.txt"});
  bool thrown = false;
  hl::SetMessageBoxHook([&](const hl::MessageBoxRecord&) {
    if (!thrown) {
      thrown = true;
      throw std::bad_alloc();
    }
  });
  bool stillOpen = false;
  hl::QueueModalStep([](CDialog& d) { hl::Click(d, 1006); });
  hl::QueueModalStep([&](CDialog& d) {
    stillOpen = !Dialog()->ended;
    hl::Click(d, 2);
  });
  Run();

  ASSERT_TRUE(thrown);
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(Shown(), (Boxes{AppBox(kCompleted, 0x40),
                                              AppBox("Out of memory.", 0x30 | 0x1000)}));
  EXPECT_TRUE(hl::StartedPrograms().empty()) << "the handler's work ends at the exception";
  EXPECT_EQ(Dialog()->endResult, 2);
}

// ---- Painting ----------------------------------------------------------------------------

TEST_F(InstallDlgTest, MinimisedDialogPaintsItsIconCentred) {
  fw::IconHandle dragIcon = nullptr;
  bool paintedNormal = true, paintedIconic = false;
  fw::Rect client{};
  hl::QueueModalStep([&](CDialog& d) {
    paintedNormal = d.DispatchPaint();
    hl::Get(d.GetSafeHwnd())->minimized = true;
    client = fw::ClientRect(d.GetSafeHwnd());
    hl::ClearCalls();
    paintedIconic = d.DispatchPaint();
    dragIcon = d.DispatchQueryDragIcon();
    hl::Click(d, 2);
  });
  Run();

  EXPECT_FALSE(paintedNormal) << "not minimised: default painting";
  EXPECT_TRUE(paintedIconic);
  EXPECT_NE(dragIcon, nullptr);

  // BeginPaint, WM_ICONERASEBKGND with the paint context, the icon centred
  // with truncating division, EndPaint.
  std::vector<std::string> ops;
  std::string drawnAt, drawn;
  for (const hl::Call& c : hl::Calls()) {
    if (c.op == hl::Op::kBeginPaint || c.op == hl::Op::kEndPaint) ops.push_back(hl::OpName(c.op));
    if (c.op == hl::Op::kSendMessage && c.arg1 == "dlg102" && c.arg2.rfind("0x27 ", 0) == 0) ops.push_back("erase");
    if (c.op == hl::Op::kDrawIcon) {
      ops.push_back("draw");
      drawnAt = c.arg1;
      drawn = c.arg2;
    }
  }
  EXPECT_EQ(ops, (std::vector<std::string>{"BeginPaint", "erase", "draw", "EndPaint"})) << hl::DumpCalls();
  const int width = client.right - client.left, height = client.bottom - client.top;
  EXPECT_EQ(drawnAt, std::to_string((width - 32 + 1) / 2) + " " + std::to_string((height - 32 + 1) / 2));
  EXPECT_EQ(drawn, "icon128");
}

}  // namespace

// ---- The Install command: what the user types, and what it must not do twice ----------

namespace {

struct FieldRow {
  std::string dirField, folderField, installDir, programFolder;
  std::string box;  // "" : the run completes
};
const std::string kProgramsPath = kPrograms;
const FieldRow kFieldRows[] = {
    // Windows drops a trailing blank of a name it makes, and the copy into
    // "Bv \" would then fail with a blank nobody can see.
    {"C:\\Games\\Bv ", "My Game ", "C:\\Games\\Bv", kProgramsPath + "\\My Game", ""},
    {"C:\\Games\\Bv2\\ ", "Games/Bv", "C:\\Games\\Bv2", kProgramsPath + "\\Games\\Bv", ""},
    {"C:\\Games\\Bv3", "..\\Startup", "C:\\Games\\Bv3", "", "I couldn't create the shortcut folder."},
    {"C:\\Games\\Bv4", "C:\\Evil", "C:\\Games\\Bv4", "", "I couldn't create the shortcut folder."},
    {"C:\\Games\\Bv5", "\\\\server\\share", "C:\\Games\\Bv5", "", "I couldn't create the shortcut folder."},
    {"C:\\Games\\Bv6", "NUL", "C:\\Games\\Bv6", "", "I couldn't create the shortcut folder."},
};
class FieldTextTest : public InstallDlgTest, public ::testing::WithParamInterface<FieldRow> {};

TEST_P(FieldTextTest, IsTidiedAndTheFolderMustStayInsidePrograms) {
  const FieldRow& row = GetParam();
  Medium("1\napp.exe Application\n", {"app.exe"});
  std::string installDir, programFolder;
  hl::QueueModalStep([&](CDialog& d) {
    hl::Type(d, 1000, row.dirField);
    hl::Type(d, 1001, row.folderField);
    hl::Click(d, 1006);
    installDir = g_installState.installDir;
    programFolder = g_installState.programFolder;
    if (!Dialog()->ended) hl::Click(d, 2);
  });
  Run();
  EXPECT_EQ(installDir, row.installDir);
  EXPECT_EQ(programFolder, row.programFolder);
  if (row.box.empty()) {
    EXPECT_EQ(Shown(), (Boxes{AppBox(kCompleted, 0x40)}));
    EXPECT_TRUE(hl::ReadLink(row.programFolder + "\\Application.lnk"));
  } else {
    EXPECT_EQ(Shown(), (Boxes{ErrorBox(row.box)}));
    EXPECT_FALSE(hl::Exists(row.installDir));  // made by the run, taken away again
  }
}
INSTANTIATE_TEST_SUITE_P(InstallDlg, FieldTextTest, ::testing::ValuesIn(kFieldRows));

TEST_F(InstallDlgTest, ProgramsFolderTheShellCannotNameAtInstallStopsTheRun) {
  // Named at start-up, not when Install is pressed: the folder text alone
  // would land at the root of the current drive.
  Medium("1\napp.exe Application\n", {"app.exe"});
  hl::QueueModalStep([](CDialog& d) {
    hl::SetProgramsFolder("");
    hl::Click(d, 1006);
  });
  hl::QueueModalStep([](CDialog& d) { hl::Click(d, 2); });
  Run();
  EXPECT_EQ(Shown(), (Boxes{ErrorBox("I couldn't create the shortcut folder.")}));
  EXPECT_FALSE(hl::Exists("C:\\Brackenvue"));
  EXPECT_FALSE(hl::Exists(kDefaultDir));
}

TEST_F(InstallDlgTest, FailedShortcutIsShownBeforeTheCompletionBox) {
  Medium("2\napp.exe Application\nnotes.txt Notes\n.readme notes.txt\n", {"app.exe", "notes.txt"});
  hl::InjectFault({hl::Op::kPersistFileSave, "", 1});
  QueueInstallPress();
  Run();
  EXPECT_EQ(Shown(),
            (Boxes{ErrorBox(std::string("I couldn't create the link:\n") + kPrograms + "\\Brackenvue\\Notes.lnk"),
                   AppBox(kCompleted, 0x40), AppBox(kReadmeNotice, 0)}));
  EXPECT_EQ(Dialog()->endResult, 0);
  EXPECT_EQ(hl::StartedPrograms().size(), 1u);
}

// Every box runs a message loop and the error box leaves the dialog
// enabled: a second click or ENTER reaches the dialog while the first press
// is still being answered. Pressed in every box of each outcome.
struct InstallDoesNothingWhileAnInstallationOrItsBoxesAreUnderwayCase {
  const char* name;
  std::string manifest;
  std::vector<std::string> files;
  size_t boxes;
};
const InstallDoesNothingWhileAnInstallationOrItsBoxesAreUnderwayCase kInstallDoesNothingWhileAnInstallationOrItsBoxesAreUnderwayCases[] = {
    {"stopped", "1\napp.exe A\n", {"app.exe"}, 1},                 // no room: one error box
    {"failed", "1\nmissing.dat D\n", {}, 2},                         // error box, closing box
    {"complete", "1\napp.exe A\n.directx\n", {"app.exe"}, 2},       // completion, DirectX question
};
class InstallDoesNothingWhileAnInstallationOrItsBoxesAreUnderwayTest : public InstallDlgTest, public ::testing::WithParamInterface<InstallDoesNothingWhileAnInstallationOrItsBoxesAreUnderwayCase> {};

TEST_P(InstallDoesNothingWhileAnInstallationOrItsBoxesAreUnderwayTest, Case) {
  const InstallDoesNothingWhileAnInstallationOrItsBoxesAreUnderwayCase& c = GetParam();
  SCOPED_TRACE(c.name);
  Medium(c.manifest, c.files);
  if (std::string(c.name) == "stopped") hl::SetFreeBytes(1);
  CDialog* dialog = nullptr;
  hl::SetMessageBoxHook([&](const hl::MessageBoxRecord&) {
    hl::Click(*dialog, 1006);
    hl::Click(*dialog, 1);  // ENTER
  });
  hl::QueueModalStep([&](CDialog& d) {
    dialog = &d;
    hl::Click(d, 1006);
    if (!Dialog()->ended) hl::Click(d, 2);
  });
  Run();
  EXPECT_EQ(hl::MessageBoxes().size(), c.boxes);
  int loads = 0;
  for (const hl::Call& call : hl::CallsOf(hl::Op::kOpenForRead)) loads += call.arg1 == "setup.inf";
  EXPECT_EQ(loads, 1);
}
INSTANTIATE_TEST_SUITE_P(InstallDlg, InstallDoesNothingWhileAnInstallationOrItsBoxesAreUnderwayTest, ::testing::ValuesIn(kInstallDoesNothingWhileAnInstallationOrItsBoxesAreUnderwayCases));

}  // namespace
