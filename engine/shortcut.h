// The Start-menu Programs folder and shell shortcut files.
#pragma once

#include "platform/services.h"

// Writes the Programs folder of the user's Start menu into buf (260 bytes),
// without a trailing backslash. When the shell cannot supply it, buf holds an
// empty string (callers then fail in their own checks).
void GetProgramsFolder(char* buf);

// Writes a shell link at linkPath pointing at target, with the description and
// the target's directory (cut at its last backslash) as working directory.
// COM is initialised once per process, on the first call.
// Returns the HRESULT of the save, or of the failed CoCreateInstance or
// QueryInterface, unchanged; negative: failure, no file written.
// A target or link path that cannot be held (259 characters at most) is
// refused with plat::kEInvalidArg before anything is created.
plat::HResult CreateShortcut(const char* target, const char* linkPath, const char* description);
