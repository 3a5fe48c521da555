// The application object on the headless backend: start-up, the modal run of
// the install dialog as the main window, and F1 help.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/install_app.h"
#include "platform/headless/headless.h"

namespace {

TEST(InstallAppTest, RunsTheInstallDialogOnceAsMainWindowAndEnds) {
  CInstallApp app;
  CWnd* mainDuringRun = nullptr;
  CDialog* dialogInRun = nullptr;
  hl::QueueModalStep([&](CDialog& d) {
    mainDuringRun = AfxGetMainWnd();
    dialogInRun = &d;
    hl::Click(d, 2);
  });

  int exitCode = AfxRunApplication();

  EXPECT_EQ(exitCode, 0);
  ASSERT_NE(dialogInRun, nullptr);
  EXPECT_EQ(mainDuringRun, dialogInRun);
  EXPECT_EQ(AfxGetMainWnd(), nullptr) << "no pointer to the finished dialog is left behind";
  EXPECT_STREQ(app.m_pszAppName, "INSTALL");

  // The DLL search order and then the error mode are set before anything
  // else; one modal dialog, 102, without an owner; nothing else is created.
  const std::vector<hl::Call>& calls = hl::Calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0].op, hl::Op::kHardenDllSearch) << hl::DumpCalls();
  EXPECT_EQ(calls[1].op, hl::Op::kErrorMode) << hl::DumpCalls();
  ASSERT_EQ(hl::CallsOf(hl::Op::kRunModal).size(), 1u);
  hl::Window* dialog = hl::LastDialog(102);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->owner, nullptr);
  EXPECT_TRUE(dialog->destroyed);
  EXPECT_EQ(hl::LastDialog(129), nullptr);
}

TEST(InstallAppTest, F1ShowsOneHelpBoxOwnedByTheDialog) {
  CInstallApp app;
  int nestedBoxes = -1;
  hl::SetMessageBoxHook([&](const hl::MessageBoxRecord&) {
    // F1 again while the help box is up must not stack a second box.
    size_t before = hl::MessageBoxes().size();
    AfxGetApp()->OnHelp();
    nestedBoxes = static_cast<int>(hl::MessageBoxes().size() - before);
  });
  hl::QueueModalStep([](CDialog& d) {
    AfxGetApp()->OnHelp();
    hl::Click(d, 2);
  });
  AfxRunApplication();

  ASSERT_EQ(hl::MessageBoxes().size(), 1u);
  const hl::MessageBoxRecord& box = hl::MessageBoxes()[0];
  EXPECT_EQ(hl::Get(box.owner), hl::LastDialog(102));
  EXPECT_EQ(box.caption, "INSTALL");
  EXPECT_EQ(box.type, fw::kMbIconInformation);
  EXPECT_NE(box.text.find("directory"), std::string::npos);
  EXPECT_NE(box.text.find("Program folder"), std::string::npos);
  EXPECT_EQ(nestedBoxes, 0);

  // Closing the help box changes nothing: the dialog ended only by Exit.
  EXPECT_EQ(hl::LastDialog(102)->endResult, 2);
}

}  // namespace
