// One whole installation from the two paths in g_installState.
#pragma once

#include <cstdint>

// RunInstall's results.
// Complete: failed shortcuts do not change it; errorText may hold the last
// link message.
constexpr int kInstallComplete = 1;
// Stopped at a point the user can correct; errorText says why.
constexpr int kInstallStopped = 0;
// The medium is unusable (manifest unreadable, a listed file gone or not a
// file, a name that leaves its folder); errorText says why.
constexpr int kInstallUnusableMedium = -1;

// One whole installation from the two paths in g_installState: one of the
// three results above. Shows no box; drives the progress window while it
// works.
int RunInstall();

// Free bytes on the volume that holds `path`, asked of the nearest existing
// ancestor directory of `path` (the path itself need not exist). false: no
// figure could be had at all.
bool GetFreeDiskSpace(const char* path, uint64_t* freeBytes);
