#pragma once
// "Launch on startup": on exactly when the current user's Run key holds this executable's path
// under the value "Tessivane_x64".

bool isLaunchOnStartup();

// Switches it over: deletes the value when on, writes this executable's path when off.
void toggleLaunchOnStartup();
