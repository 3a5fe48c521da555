// The window primitives the framework's classes are built on, implemented by
// each backend (platform/win32 with real windows, platform/headless with plain
// objects). The dialogs never call these: they use the classes of
// platform/framework.h. Tests of the framework and of the backends may.
#pragma once

#include <cstdint>
#include <string>

#include "platform/framework.h"

namespace fw {

WindowHandle GetDlgItemHandle(WindowHandle dialog, int id);
int GetText(WindowHandle wnd, char* buf, int maxCount);
void SetText(WindowHandle wnd, const char* text);
intptr_t Send(WindowHandle wnd, unsigned msg, uintptr_t wParam, intptr_t lParam);
bool Show(WindowHandle wnd, int cmd);
WindowHandle Activate(WindowHandle wnd);
bool Destroy(WindowHandle wnd);
bool IsMinimized(WindowHandle wnd);
Rect ClientRect(WindowHandle wnd);
DcHandle BeginPaintDc(WindowHandle wnd, void** state);
void EndPaintDc(WindowHandle wnd, void* state);
bool DrawIconAt(DcHandle dc, int x, int y, IconHandle icon);

// Creates the dialog window from the template and runs it modally; calls
// dlg->DispatchInitDialog() etc. Sets dlg->m_hWnd while the window exists.
intptr_t RunModal(CDialog* dlg, int templateId, WindowHandle owner);
WindowHandle CreateModeless(CDialog* dlg, int templateId, WindowHandle owner);
void EndModal(WindowHandle dialog, intptr_t result);

// Registers the common control classes once per process (before any dialog).
void EnsureCommonControls();
// SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX).
void SetProcessErrorMode();
// The running program's file name without directory and extension, in the
// letter case the platform reports.
std::string ModuleBaseName();

// Keeps DLLs that the process loads from now on out of the program's own
// directory and the current directory: an installer runs from a download
// folder or a medium, where anyone may have put a DLL of a system name. Where
// the system offers it, later loads search System32 only; elsewhere at least
// the current directory is dropped. Called before anything else at start-up.
void HardenDllSearch();

}  // namespace fw
