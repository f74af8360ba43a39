// The program's own window messages and the tray icon's identity.
#pragma once

#include <windows.h>

// Sent by the notification area about the tray icon; wParam is the icon id, the low word of
// lParam the mouse message.
UINT const kTrayCallback = WM_USER + 1;  // 1025
// Posted to an open Configure dialog when the engine has published a new output list.
UINT const kPortsChanged = WM_USER + 2;  // 1026
// Posted by the Configure dialog to itself when the queue refused a click's request, so that the
// error box opens after the tree's click notification has returned.
UINT const kRequestRefused = WM_APP + 1;

UINT const kTrayIconId = 107;
