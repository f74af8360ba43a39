#include "settings/LaunchOnStartup.h"

#include "settings/RegistryKey.h"

#include <windows.h>

#include <cstring>

namespace {

char const kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
char const kValueName[] = "Tessivane_x64";
constexpr DWORD kPathBufferSize = 260;

// This executable's full path, or false when it does not fit the buffer: a cut path names
// another file, so it is never stored or compared.
bool modulePath(char (&path)[kPathBufferSize]) {
    DWORD const length = GetModuleFileNameA(nullptr, path, kPathBufferSize);
    return length > 0 && length < kPathBufferSize;
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

bool isLaunchOnStartup() {
    std::optional<std::string> const value = launchOnStartupValue();
    char path[kPathBufferSize];
    return value && modulePath(path) && launchValueStarts(*value, path);
}

void toggleLaunchOnStartup() {
    bool const on = isLaunchOnStartup();
    char path[kPathBufferSize];
    if (!on && !modulePath(path)) {
        return;  // nothing correct to write
    }
    RegistryKey key;
    if (RegCreateKeyA(HKEY_CURRENT_USER, kRunKey, key.receive()) != ERROR_SUCCESS || !key) {
        return;
    }
    if (on) {
        RegDeleteValueA(key.get(), kValueName);
    } else {
        RegSetValueExA(key.get(), kValueName, 0, REG_SZ, reinterpret_cast<BYTE const*>(path),
                       static_cast<DWORD>(std::strlen(path) + 1));
    }
}
