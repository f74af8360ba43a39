#pragma once

// Shows an engine error in a warning box owned by the main window; returns once it is dismissed.
// Installed as the engine's error hook, so it runs on whichever thread met the error.
void showErrorBox(char const* text);
