// The clock the driver and the stand-ins stamp their records with, so that
// their times can be compared across processes.
#pragma once

#include <windows.h>

// Milliseconds since 1970 (FILETIME counts 100 ns ticks since 1601).
inline long long NowMs() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  ULARGE_INTEGER u;
  u.LowPart = ft.dwLowDateTime;
  u.HighPart = ft.dwHighDateTime;
  return static_cast<long long>(u.QuadPart / 10000ULL) - 11644473600000LL;
}
