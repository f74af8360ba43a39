// The program's real main window, dialogs and resources in this test process, on an engine built
// with the fake device bus, the in-process simulated driver and a timer that never fires: the
// tests run the service tick themselves, on whichever thread plays the timer's part.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/PortController.h"
#include "midi_output/fake_bus/FakeDeviceBus.h"

// The settings key the tests store their choices under (never the program's own).
char const kUiTestKey[] = "SOFTWARE\\Velmora\\TessivaneUiTests";

FakeDeviceBus& uiBus();
PortController& engine();
HWND mainWindow();

// Unplugs every device, plugs these, and runs ticks until the engine has published them, with
// every output closed but those chosen in the stored choices.
void useDevices(std::vector<std::string> const& names);
// Unplugs every input, plugs these, and runs a tick: the engine publishes them, every input closed
// but those stored as shared.
void useInputs(std::vector<std::string> const& names);
// The stored shared inputs.
std::vector<std::string> storedSharedInputs();
// One service tick; true when it published a new list.
bool tick();
// The stored choices, as the engine's default-ports hook reads them.
std::vector<std::string> storedChoices();
void clearStoredChoices();
// Opens the Configure dialog as the tray menu does, from a robot thread; null if it did not open.
HWND openConfigureDialog();
// Opens the Share inputs dialog as the tray menu does, from a robot thread; null if it did not open.
HWND openShareInputsDialog();
// Whether the published list shows this output as enabled.
bool published(std::string const& name, bool* enabled = nullptr);
