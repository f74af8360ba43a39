// The hidden main window: it receives the tray's messages and owns the dialogs and error boxes.
#pragma once

#include <windows.h>

// Registers the window class and creates the (never shown) main window; null on failure.
HWND createMainWindow(HINSTANCE instance);

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
