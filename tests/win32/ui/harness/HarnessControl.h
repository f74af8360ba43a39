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
