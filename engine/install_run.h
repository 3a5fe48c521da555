// One whole installation from the two paths in g_installState.
#pragma once

#include <cstdint>

// 1: complete (failed shortcuts do not change it; errorText may hold the last
//    link message).
// 0: stopped at a point the user can correct; errorText says why.
// -1: the medium is unusable (manifest unreadable, a listed file gone);
//    errorText says why.
// Shows no box; drives the progress window while it works.
int RunInstall();

// Free bytes on the volume that holds `path`, asked of the nearest existing
// ancestor directory of `path` (the path itself need not exist). false: no
// figure could be had at all.
bool GetFreeDiskSpace(const char* path, uint64_t* freeBytes);
