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
// known DLLs, which are never looked for beside the program (see below for
// the one that is not).
#include "platform/win32/win32_api.h"

#include "platform/framework.h"

namespace {

// COMCTL32.DLL is not a known DLL. Named in the import table it would be
// looked for beside INSTALL.EXE before any of the program's code runs, and
// its start-up makes user32 load the theme DLL (uxtheme.dll) the same way.
// So it is bound on first use instead, like a delay import: after
// HardenDllSearch, when only System32 is searched. The framework calls
// InitCommonControlsEx through its import slot; the slot is defined here and
// points at a function that loads the real one, so the linker never needs
// comctl32's import library and the DLL stays out of the import table.
// (binutils' own delay-import libraries leave the slot empty on i686.)
BOOL WINAPI LateInitCommonControlsEx(const INITCOMMONCONTROLSEX* controls) {
  using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  static InitFn init = nullptr;
  if (!init) {
    HMODULE comctl = LoadLibraryA("comctl32.dll");
    if (comctl) init = reinterpret_cast<InitFn>(reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")));
  }
  return init ? init(controls) : FALSE;
}

}  // namespace

// The import slot a call declared dllimport goes through: __imp_ and the
// decorated stdcall name (one 4-byte argument).
extern "C" {
extern void* const comctl32InitSlot __asm__("__imp__InitCommonControlsEx@4");
void* const comctl32InitSlot = reinterpret_cast<void*>(&LateInitCommonControlsEx);
}

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
