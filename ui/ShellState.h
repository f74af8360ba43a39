// Process-wide state of the shell, written on the user-interface thread during start.
#pragma once

#include <windows.h>

struct ShellState {
    HINSTANCE instance = nullptr;
    HWND mainWindow = nullptr;
    wchar_t windowTitle[100] = {};
    wchar_t windowClass[100] = {};
};

ShellState& shell();
