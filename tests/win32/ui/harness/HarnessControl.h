// How a test reaches a running UI harness: a hidden window of this class, on the harness's
// user-interface thread.
#pragma once

#include <windows.h>

wchar_t const kHarnessControlClass[] = L"TessivaneHarnessControl";
// Plugs the outputs named in TESSIVANE_HARNESS_LATER; the engine finds them at its next tick.
UINT const kPlugLater = WM_APP + 1;
