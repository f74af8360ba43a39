// The hidden main window: it receives the tray icon's messages and the menu commands, and owns the
// dialogs and the error boxes. It is never shown.
#pragma once

#include <windows.h>

// Registers the window class, stores the instance and creates the main window; null on failure.
HWND createMainWindow(HINSTANCE instance);

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
