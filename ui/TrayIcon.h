// The icon in the notification area and its right-click menu.
#pragma once

#include <windows.h>

// Fills the shell's icon record (once) and adds the icon; the result is not examined; without an
// icon the program still runs.
void addTrayIcon();
// Deletes the icon with the same record.
void deleteTrayIcon();

// Builds the menu afresh ("Configure...", "Launch on startup", a separator, "Exit"), shows it at
// the cursor and returns when it is dismissed; the chosen command arrives as WM_COMMAND.
void showTrayMenu(HWND window);
