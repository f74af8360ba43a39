// Process-wide state of the shell. Written only on the user-interface thread, during start and
// when the exit begins.
#pragma once

#include <windows.h>
#include <shellapi.h>

struct ShellState {
    HINSTANCE instance = nullptr;
    // Hidden; receives the tray callback and the menu commands, owns the dialogs and error boxes.
    // Null again once it is destroyed.
    HWND mainWindow = nullptr;
    wchar_t windowTitle[100] = {};
    wchar_t windowClass[100] = {};
    // Filled once when the icon is added, and used again, unchanged, to delete it.
    NOTIFYICONDATAA trayIcon = {};
    // Set when the exit begins ("Exit", or the window being destroyed by any route). From then on
    // the tray icon and the menu commands do nothing: while WM_DESTROY waits for a running tick
    // it serves sent messages, tray callbacks among them, and nothing may open inside the exit.
    bool exiting = false;
};

ShellState& shell();
