#include "ui/install_dlg.h"

#include <cstdio>
#include <cstring>

#include "engine/install_run.h"
#include "engine/install_state.h"
#include "engine/path_rules.h"
#include "engine/shortcut.h"
#include "platform/services.h"
#include "ui/resource_ids.h"

namespace {

constexpr int kPathBytes = plat::kMaxPath;  // 260, terminator included

const char kProgramsUnreadable[] = "I couldn't read the Programs Directory.";
const char kDefaultProgramFolder[] = "Brackenvue";
const char kDefaultInstallDir[] = "C:\\Program Files\\Brackenvue";

const char kNotCompleted[] = "The installation could not be completed.";
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

// Writes "<a>\<b>" into out (kPathBytes). false when it would not fit: out
// then holds an unusable, possibly cut text that must not be used as a path.
bool JoinPath(char* out, const char* a, const char* b) {
  int n = std::snprintf(out, kPathBytes, "%s\\%s", a, b);
  return n >= 0 && n < kPathBytes;
}

// Notepad from the Windows directory: "<windows dir>\notepad.exe", with no
// attempt to tidy a Windows directory that already ends in a backslash (the
// file system accepts the doubled separator). false when the Windows directory
// is unknown or the path would not fit.
bool BuildNotepadPath(char* out) {
  char windowsDir[kPathBytes];
  if (plat::GetWindowsDir(windowsDir, sizeof windowsDir) == 0) return false;
  return JoinPath(out, windowsDir, "notepad.exe");
}

}  // namespace

int ShowErrorBox(const char* text) {
  return fw::ShowMessageBox(nullptr, text, "Error", fw::kMbIconError);
}

CInstallDlg::CInstallDlg(CWnd* parent)
    : CDialog(IDD_INSTALL_DIALOG, parent),
      m_strInstallDir(""),
      m_strProgramFolder(""),
      m_hIcon(fw::LoadAppIcon(IDR_MAINFRAME)) {}

void CInstallDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, IDC_INSTALL_DIR, m_editInstallDir);
  DDX_Control(dx, IDC_PROGRAM_FOLDER, m_comboProgramFolder);
  DDX_Text(dx, IDC_INSTALL_DIR, m_strInstallDir);
  DDX_CBString(dx, IDC_PROGRAM_FOLDER, m_strProgramFolder);
}

bool CInstallDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  SendMessage(fw::kWmSetIcon, fw::kIconBig, reinterpret_cast<intptr_t>(m_hIcon));
  SendMessage(fw::kWmSetIcon, fw::kIconSmall, reinterpret_cast<intptr_t>(m_hIcon));

  // The pattern "<Programs>\*.*" must fit 260 bytes. A Programs folder the
  // shell could not name (empty) or one too long for the pattern is treated
  // like a folder that cannot be listed: an empty path would otherwise list
  // the root of the current drive.
  char programs[kPathBytes];
  GetProgramsFolder(programs);
  char pattern[kPathBytes];
  plat::FindData entry;
  plat::FindState* find = nullptr;
  if (programs[0] != '\0' && JoinPath(pattern, programs, "*.*")) {
    find = plat::FindFirst(pattern, &entry);
  }
  if (!find) {
    ShowErrorBox(kProgramsUnreadable);
    EndDialog(fw::kIdCancel);
    return false;
  }

  // The box sorts the list itself (CBS_SORT), whatever order the listing has.
  // "." and ".." and every other dot-folder are skipped; files are not folders.
  do {
    if ((entry.attributes & plat::kFileAttributeDirectory) && entry.name[0] != '.') {
      m_comboProgramFolder.AddString(entry.name);
    }
  } while (plat::FindNext(find, &entry));
  plat::FindEnd(find);

  // Setting the text (rather than selecting) leaves no list item selected,
  // even when a "Brackenvue" folder is in the list.
  m_comboProgramFolder.SetWindowText(kDefaultProgramFolder);
  m_editInstallDir.SetWindowText(kDefaultInstallDir);
  return true;
}

bool CInstallDlg::OnCommand(int id, int notifyCode) {
  if (id == IDC_INSTALL && notifyCode == fw::kBnClicked) {
    OnInstall();
    return true;
  }
  return CDialog::OnCommand(id, notifyCode);
}

void CInstallDlg::OnPaint() {
  if (!IsIconic()) {
    Default();
    return;
  }
  CPaintDC dc(this);
  SendMessage(fw::kWmIconEraseBkgnd, reinterpret_cast<uintptr_t>(dc.GetSafeHdc()), 0);
  int cxIcon = fw::SystemMetric(fw::kSmCxIcon);
  int cyIcon = fw::SystemMetric(fw::kSmCyIcon);
  fw::Rect rect;
  GetClientRect(&rect);
  int x = (rect.right - rect.left - cxIcon + 1) / 2;
  int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
  dc.DrawIcon(x, y, m_hIcon);
}

fw::IconHandle CInstallDlg::OnQueryDragIcon() { return m_hIcon; }

void CInstallDlg::BuildProgramFolder(char* out) {
  // "<Programs>\<folder text>". Left empty, which stops a run that has a
  // shortcut to write with "I couldn't create the shortcut folder.", when the
  // shell cannot name the Programs folder (the text alone would land at the
  // root of the current drive) or the text would not stay inside it.
  char programs[kPathBytes];
  GetProgramsFolder(programs);
  char text[kPathBytes];
  m_comboProgramFolder.GetWindowText(text, sizeof text);
  for (char* p = text; *p; ++p) {
    if (*p == '/') *p = '\\';
  }
  paths::TidyFieldText(text);
  out[0] = '\0';
  if (programs[0] == '\0' || paths::CheckName(text, true) != paths::NameProblem::kNone) return;
  // An empty text leaves the Programs folder itself. A text too long for the
  // path is cut, so the run's fit check reports the folder as too long.
  size_t len = std::strlen(programs);
  std::memcpy(out, programs, len + 1);
  if (text[0] == '\0') return;
  if (len + 1 < kPathBytes) {
    out[len++] = '\\';
    out[len] = '\0';
  }
  std::snprintf(out + len, kPathBytes - len, "%s", text);
}

void CInstallDlg::OnInstall() {
  // The error box has no owner and leaves this dialog enabled, and every box
  // below runs a message loop: a second click, or ENTER, would start another
  // installation (or stack more boxes) behind the first one.
  if (m_installing) return;
  m_installing = true;
  RunInstallAndReport();
  m_installing = false;
}

void CInstallDlg::RunInstallAndReport() {
  InstallState& state = g_installState;

  // The installation directory: the field's text, cut to 259 characters,
  // trailing blanks and one trailing backslash removed ("C:\" becomes "C:").
  // The run makes it a full path.
  m_editInstallDir.GetWindowText(state.installDir, sizeof state.installDir);
  paths::TidyFieldText(state.installDir);

  BuildProgramFolder(state.programFolder);

  int result = RunInstall();

  if (result == kInstallUnusableMedium) {
    // The medium is unusable: the engine's words, then the dialog ends. The
    // closing box still belongs to the dialog, whose window exists until the
    // modal loop unwinds after this handler.
    ShowErrorBox(state.errorText);
    EndDialog(-1);
    MessageBox(kNotCompleted, nullptr, fw::kMbOk);
    return;
  }
  if (result == kInstallStopped) {
    // Something the user can put right; the dialog stays for another try.
    ShowErrorBox(state.errorText);
    return;
  }

  // A complete run may still have failed to write a shortcut; the completion
  // box alone would send the user to a Start menu without it.
  if (state.errorText[0] != '\0') ShowErrorBox(state.errorText);
  MessageBox(kCompleted, nullptr, fw::kMbIconInformation);

  // A manifest that asks for DirectX gets no readme, even when it names one.
  if (state.readmeName[0] != '\0' && state.directXFlag == 0) {
    MessageBox(kReadmeNotice, nullptr, fw::kMbOk);
    // Notepad is only started on complete paths: a cut path would open some
    // other file, or none. Nothing is reported either way, like a missing
    // Notepad or readme.
    char notepadPath[kPathBytes];
    char readmePath[kPathBytes];
    if (BuildNotepadPath(notepadPath) && JoinPath(readmePath, state.installDir, state.readmeName)) {
      // Unquoted: a readme path with blanks arrives whole as the rest of
      // Notepad's command line.
      const char* const args[] = {notepadPath, readmePath, nullptr};
      plat::StartProgram(false, notepadPath, args);
    }
  }

  // Notepad, when started, has just taken the foreground; the dialog takes
  // it back for the question below.
  SetActiveWindow();

  if (state.directXFlag != 0) {
    if (MessageBox(kDirectXQuestion, nullptr, fw::kMbYesNo) == fw::kIdYes) {
      // A bare name: looked for in the medium's directory only. A missing
      // program starts nothing and says nothing.
      const char* const args[] = {"directx.exe", nullptr};
      plat::StartProgram(true, "directx.exe", args);
    }
  }

  EndDialog(0);
}
