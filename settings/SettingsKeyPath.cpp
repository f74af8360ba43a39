#include "settings/SettingsKeyPath.h"

#include <cstring>

// Starts out as the program's own key, so that a string table missing entry 200 still leaves
// the store in its usual place.
char g_settingsKeyPath[kSettingsKeyPathSize] = "SOFTWARE\\Velmora\\Tessivane";

char const* usableSettingsKeyPath() {
    if (g_settingsKeyPath[0] == '\0' ||
        std::memchr(g_settingsKeyPath, '\0', sizeof g_settingsKeyPath) == nullptr) {
        return nullptr;
    }
    return g_settingsKeyPath;
}
