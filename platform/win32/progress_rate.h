// Progress bars of framework dialogs drawn at a bounded rate (win32 backend
// internal; framework_win32.cpp keeps the bars, the paint pump flushes them).
//
// Wine's progress bar repaints itself at once on every PBM_SETPOS
// (InvalidateRect and UpdateWindow inside the control), and that repaint costs
// more than copying a small file. Every progress bar of a framework dialog is
// therefore subclassed when the dialog is created: a PBM_SETPOS that comes
// within kBarDrawIntervalMs of the bar's last drawing is answered (with the
// previous position, as the control answers) and kept; the control gets the
// kept position with the next PBM_SETPOS after the interval, before any other
// message to the bar (PBM_GETPOS, WM_PAINT, ...), or from FlushProgressBars.
// Every message still reaches the bar's window procedure; only the control's
// drawing is spread out.
#pragma once

namespace fw {

constexpr unsigned long kBarDrawIntervalMs = 50;

// Hands every kept position whose bar was last drawn kBarDrawIntervalMs or
// more ago to its control, which draws it. Cheap when nothing is kept.
void FlushProgressBars();

}  // namespace fw
