// The one place the Windows backend includes the SDK headers.
//
// <windows.h> maps the generic names of its A/W function pairs to macros
// (MessageBox -> MessageBoxA, ...). Several of those names are also member
// functions of the framework classes; left defined, the macros would rename
// the members in this backend's translation units only, and calls from the
// portable code would no longer link. They are removed here, so include this
// header before any project header, and call the "A" functions by their full
// names.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef STRICT
#define STRICT
#endif

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#undef MessageBox
#undef GetWindowText
#undef SetWindowText
#undef SendMessage
#undef DrawText
#undef CreateDialog
#undef DialogBox
#undef LoadIcon
#undef GetClassName
#undef CopyFile
#undef CreateDirectory
#undef RemoveDirectory
#undef DeleteFile
#undef GetFileAttributes
#undef FindFirstFile
#undef FindNextFile
#undef GetWindowsDirectory
#undef GetModuleFileName
