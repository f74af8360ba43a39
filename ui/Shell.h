// The program's start and its message loop, shared by tessivane.exe and the UI test harness.
#pragma once

#include <windows.h>

#include "engine/PortController.h"

// The engine's hooks into this program: the Configure dialog's notice, the error box and the
// stored output choices.
PortController::Hooks engineHooks();

// Loads the strings, creates the hidden main window, starts the engine, adds the tray icon and
// runs the message loop until "Exit". Returns the process exit code, 0 in every case.
int runTessivane(HINSTANCE instance);
