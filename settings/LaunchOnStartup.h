#pragma once
// "Launch on startup": on exactly when the current user's Run key holds this executable's path
// under the value "Tessivane_x64".

#include <optional>
#include <string>
#include <string_view>

bool isLaunchOnStartup();

// Switches it over: deletes the value when on, writes this executable's path when off.
void toggleLaunchOnStartup();

// The value's text as the switch reads it (up to its first NUL), or nothing when it is absent,
// empty or longer than the 260 bytes read.
std::optional<std::string> launchOnStartupValue();

// The one rule for "this value starts that executable": its text is the path, byte for byte.
bool launchValueStarts(std::string_view value, std::string_view executablePath);
