// The installer's dialog templates as the headless backend should know them.
#pragma once

namespace testsupport {

// Registers the templates of ui/install.rc with the headless backend
// (hl::RegisterTemplate): captions, WS_VISIBLE, client sizes and the controls
// code can address, with their texts and tab stops. Once per process is
// enough; hl::Reset keeps them.
void RegisterInstallerTemplates();

}  // namespace testsupport
