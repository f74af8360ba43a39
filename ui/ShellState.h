// Process-wide state of the shell. Written only on the user-interface thread, during start.
#pragma once

#include <windows.h>
#include <shellapi.h>

struct ShellState {
    HINSTANCE instance = nullptr;
    // Hidden; receives the tray callback and the menu commands, owns the dialogs and error boxes.
    HWND mainWindow = nullptr;
    wchar_t windowTitle[100] = {};
    wchar_t windowClass[100] = {};
    // Filled once when the icon is added, and used again, unchanged, to delete it.
    NOTIFYICONDATAA trayIcon = {};
};

ShellState& shell();
