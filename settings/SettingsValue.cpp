#include "settings/SettingsValue.h"

#include "settings/RegistryKey.h"
#include "settings/SettingsKeyPath.h"

#include <windows.h>

#include <cstring>

StoredValue readSettingsValue(char const* valueName, char (&buffer)[kStoredListMaxBytes]) {
    char const* path = usableSettingsKeyPath();
    RegistryKey key;
    if (!path ||
        RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, key.receive()) !=
            ERROR_SUCCESS ||
        !key) {
        return StoredValue::Absent;
    }
    DWORD size = sizeof buffer;
    LONG const result = RegQueryValueExA(key.get(), valueName, nullptr, nullptr,
                                         reinterpret_cast<BYTE*>(buffer), &size);
    key.reset();
    if (result == ERROR_MORE_DATA) {
        return StoredValue::TooLong;
    }
    if (result != ERROR_SUCCESS || size <= 1) {
        return StoredValue::Absent;
    }
    // The type is ignored, so the data need not end in a NUL: the text ends at the first NUL or
    // with the data. Data that fills the whole buffer without one would need a 8193rd byte for
    // its terminator, so it is over the limit like any longer value.
    if (std::memchr(buffer, '\0', size) == nullptr) {
        if (size >= sizeof buffer) {
            return StoredValue::TooLong;
        }
        buffer[size] = '\0';
    }
    return StoredValue::Text;
}

void writeSettingsValue(char const* valueName, char const* text) {
    if (!text) {
        return;
    }
    std::size_t const bytes = std::strlen(text) + 1;
    if (bytes > kStoredListMaxBytes) {
        return;  // could never be read back: keep what is stored
    }
    char const* path = usableSettingsKeyPath();
    if (!path) {
        return;
    }
    RegistryKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, key.receive()) !=
            ERROR_SUCCESS ||
        !key) {
        if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.receive(),
                            nullptr) != ERROR_SUCCESS) {
            return;
        }
    }
    RegSetValueExA(key.get(), valueName, 0, REG_SZ, reinterpret_cast<BYTE const*>(text),
                   static_cast<DWORD>(bytes));
}
