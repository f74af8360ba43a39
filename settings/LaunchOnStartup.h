#pragma once
// "Launch on startup": on exactly when the current user's Run key holds this executable's path
// under the value "Tessivane_x64" and that value is not switched off in Task Manager.

#include <optional>
#include <string>
#include <string_view>

bool isLaunchOnStartup();

// Switches it over: deletes the value when on; when off, writes this executable's path and clears
// Task Manager's switch, so that Windows starts it.
void toggleLaunchOnStartup();

// The value's text as the switch reads it (up to its first NUL), or nothing when it is absent,
// empty or longer than any path the switch writes.
std::optional<std::string> launchOnStartupValue();

// The one rule for "this value starts that executable": its text is the path, byte for byte.
bool launchValueStarts(std::string_view value, std::string_view executablePath);

// Whether the value is switched off in Task Manager's Startup tab (or Settings' Startup page), so
// that Windows does not start it at logon: the value of the same name under the StartupApproved
// Run key has an odd first byte. Absent means on.
bool launchSwitchedOffInTaskManager();
