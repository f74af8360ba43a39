#pragma once
// The settings key path under HKEY_CURRENT_USER. The shell fills it from string resource 200
// before the engine starts; tests point it at a key of their own.

inline constexpr int kSettingsKeyPathSize = 100;

extern char g_settingsKeyPath[kSettingsKeyPathSize];

// The buffer's text, or null when it is empty or not terminated: the store then neither reads
// nor writes, instead of working on HKEY_CURRENT_USER itself or past the buffer.
char const* usableSettingsKeyPath();
