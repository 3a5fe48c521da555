// Mirrors the DIALOG statements of ui/install.rc; the Windows tests check the
// compiled resources themselves (tests/win32/ui_resources_test.cpp).
#include "tests/native/installer_templates.h"

#include "platform/framework.h"
#include "platform/headless/headless.h"
#include "ui/resource_ids.h"

namespace testsupport {

namespace {

// Dialog units in the 8-point system font: 3/2 pixels across, 13/8 down.
constexpr int PixelsAcross(int units) { return units * 3 / 2; }
constexpr int PixelsDown(int units) { return (units * 13 + 4) / 8; }

}  // namespace

void RegisterInstallerTemplates() {
  hl::RegisterTemplate({IDD_INSTALL_DIALOG,
                        "Brackenvue Installation",
                        true,
                        PixelsAcross(216),
                        PixelsDown(162),
                        {{IDC_INSTALL_DIR, "", true},
                         {IDC_PROGRAM_FOLDER, "", true},
                         {IDC_INSTALL, "&Install Brackenvue", true},
                         {fw::kIdCancel, "Exit Installation", true}}});
  hl::RegisterTemplate({IDD_PROGRESS_DIALOG,
                        "Installation Progress",
                        false,
                        PixelsAcross(187),
                        PixelsDown(38),
                        {{IDC_PROGRESS_BAR, "Progress1", false}, {IDC_STATUS_TEXT, "", false}}});
}

}  // namespace testsupport
