// The program's own window messages and timers, and the tray icon's identity.
#pragma once

#include <windows.h>

// Sent by the notification area about the tray icon; wParam is the icon id, the low word of
// lParam the mouse message.
UINT const kTrayCallback = WM_USER + 1;  // 1025
// Posted to an open Configure dialog when the engine has published a new output list.
UINT const kPortsChanged = WM_USER + 2;  // 1026
// Posted to an open Share inputs dialog when the engine has published a new input list.
UINT const kInputsChanged = WM_USER + 3;  // 1027
// The main window's timer that shows the error boxes waiting to be shown (showErrorBoxLater).
UINT_PTR const kLaterErrorBoxesTimer = 1;

UINT const kTrayIconId = 107;
