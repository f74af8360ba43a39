// How a test reaches a running UI harness: a hidden window of this class, on the harness's
// user-interface thread.
#pragma once

#include <windows.h>

wchar_t const kHarnessControlClass[] = L"TessivaneHarnessControl";
// Plugs the outputs named in TESSIVANE_HARNESS_LATER; the engine finds them at its next tick.
UINT const kPlugLater = WM_APP + 1;
// Holds the engine's ticks (none runs until kReleaseTicks) and fills the request queue with
// disable requests for the first listed output until it refuses one.
UINT const kFillQueue = WM_APP + 2;
UINT const kReleaseTicks = WM_APP + 3;
// Clicks the check box of the first item of the open Configure dialog's tree, with the mouse.
UINT const kClickFirstBox = WM_APP + 4;
// The open Configure dialog's tree takes the mouse capture (as Windows' tree view does while it
// tracks a press on an item), and lets it go.
UINT const kHoldTreeCapture = WM_APP + 5;
UINT const kReleaseCapture = WM_APP + 6;
// Sent: answers with the number of outputs the engine has published.
UINT const kPublishedCount = WM_APP + 7;
// Keeps an error text to be shown by the main window's timer, as a click that the engine refuses
// does from inside the tree's notification.
UINT const kErrorBoxLater = WM_APP + 8;
// Sent: answers how many timer messages have come, since the last kHoldTreeCapture and while a
// window held the capture, for wParam kMainWindowTimer (the main window's error-box timer) or
// kTreeRebuildTimer (the Configure dialog's tree rebuild). Counted as they are taken from the
// queue: with two, the first has been handled.
UINT const kTimersUnderCapture = WM_APP + 9;
WPARAM const kMainWindowTimer = 0;
WPARAM const kTreeRebuildTimer = 1;
// Sent: answers how many opens of a TESSIVANE_HARNESS_SLOW_OPEN output have begun.
UINT const kSlowOpensBegun = WM_APP + 10;
