// The DLL search order of the installer's process.
//
// Windows looks for a DLL that is loaded by name in the program's directory
// first. An installer is run from wherever it was downloaded to or from a
// medium, so a DLL of a system name placed beside it ("version.dll",
// "uxtheme.dll", ...) would run inside the installer as soon as the system
// loads that name: user32 loads the theme DLL with the first window, the
// shell and COM load theirs when the shortcuts are written.
//
// Both calls are looked up at run time: SetDefaultDllDirectories exists from
// Windows 8 (and Vista/7 with update KB2533623), SetDllDirectoryA from XP SP1;
// importing either would keep the installer from starting on older systems.
// Nothing here can help with the DLLs of the import table, which the loader
// maps before any of the program's code runs: those must be the system's
// known DLLs, which are never looked for beside the program. COMCTL32.DLL is
// not one, so the framework loads it late, by its full System32 path
// (EnsureCommonControls).
#include "platform/win32/win32_api.h"

#include "platform/framework.h"
#include "platform/framework_backend.h"

namespace fw {

void HardenDllSearch() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel) return;

  // LOAD_LIBRARY_SEARCH_SYSTEM32: later loads by name search System32 only
  // (a DLL's own dependencies included), neither the program's directory nor
  // the current one nor PATH.
  constexpr DWORD kSearchSystem32 = 0x00000800;
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  auto setDefault =
      reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefault) setDefault(kSearchSystem32);

  // An empty string takes the current directory out of the search order; on
  // systems without the call above this is all that can be done.
  using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
  auto setDirectory =
      reinterpret_cast<SetDllDirectoryFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
  if (setDirectory) setDirectory("");
}

}  // namespace fw
