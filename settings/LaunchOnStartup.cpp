#include "settings/LaunchOnStartup.h"

#include "settings/RegistryKey.h"

#include <windows.h>

#include <cstring>

namespace {

char const kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
// Where Task Manager's Startup tab (and Settings' Startup page) keeps its switch for each Run value.
char const kStartupApprovedKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
char const kValueName[] = "Tessivane_x64";
// A path of fewer than 260 characters, in the narrow code page: up to three bytes a character in
// UTF-8, the program's code page. The value is read into as many bytes.
constexpr DWORD kPathCharacters = MAX_PATH;
constexpr DWORD kPathBufferSize = 3 * kPathCharacters;

// This executable's full path, or nothing when it has 260 characters or more: Windows does not
// start such a path from the Run key, and a cut path names another file, so neither is stored or
// compared.
std::optional<std::string> modulePath() {
    char path[kPathBufferSize];
    DWORD const length = GetModuleFileNameA(nullptr, path, kPathBufferSize);
    if (length == 0 || length >= kPathBufferSize) {
        return std::nullopt;
    }
    int const characters =
        MultiByteToWideChar(CP_ACP, 0, path, static_cast<int>(length), nullptr, 0);
    if (characters <= 0 || static_cast<DWORD>(characters) >= kPathCharacters) {
        return std::nullopt;
    }
    return std::string(path, length);
}

}  // namespace

std::optional<std::string> launchOnStartupValue() {
    RegistryKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE, key.receive()) !=
            ERROR_SUCCESS ||
        !key) {
        return std::nullopt;
    }
    char data[kPathBufferSize];
    DWORD size = sizeof data;
    LONG const result =
        RegQueryValueExA(key.get(), kValueName, nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                         &size);
    if (result != ERROR_SUCCESS || size <= 1) {
        return std::nullopt;
    }
    // The type is ignored, so the data may lack a terminator: the text ends at the first NUL or
    // with the data.
    auto const* end = static_cast<char const*>(std::memchr(data, '\0', size));
    return std::string(data, end ? static_cast<std::size_t>(end - data) : size);
}

bool launchValueStarts(std::string_view value, std::string_view executablePath) {
    return value == executablePath;
}

bool launchSwitchedOffInTaskManager() {
    RegistryKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kStartupApprovedKey, 0, KEY_QUERY_VALUE, key.receive()) !=
            ERROR_SUCCESS ||
        !key) {
        return false;
    }
    // Twelve bytes: the state (odd when switched off), then when it was switched off.
    BYTE data[12] = {};
    DWORD size = sizeof data;
    LONG const result = RegQueryValueExA(key.get(), kValueName, nullptr, nullptr, data, &size);
    return result == ERROR_SUCCESS && size > 0 && (data[0] & 1) != 0;
}

bool isLaunchOnStartup() {
    std::optional<std::string> const value = launchOnStartupValue();
    if (!value) {
        return false;
    }
    std::optional<std::string> const path = modulePath();
    return path && launchValueStarts(*value, *path) && !launchSwitchedOffInTaskManager();
}

void toggleLaunchOnStartup() {
    bool const on = isLaunchOnStartup();
    std::optional<std::string> const path = modulePath();
    if (!on && !path) {
        return;  // nothing correct to write
    }
    RegistryKey key;
    if (RegCreateKeyA(HKEY_CURRENT_USER, kRunKey, key.receive()) != ERROR_SUCCESS || !key) {
        return;
    }
    if (on) {
        RegDeleteValueA(key.get(), kValueName);
        return;
    }
    if (RegSetValueExA(key.get(), kValueName, 0, REG_SZ,
                       reinterpret_cast<BYTE const*>(path->c_str()),
                       static_cast<DWORD>(path->size() + 1)) != ERROR_SUCCESS) {
        return;
    }
    // Switched on for real: Windows would still skip a value switched off in Task Manager.
    RegistryKey approved;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kStartupApprovedKey, 0, KEY_SET_VALUE,
                      approved.receive()) == ERROR_SUCCESS &&
        approved) {
        RegDeleteValueA(approved.get(), kValueName);
    }
}
