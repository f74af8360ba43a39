#include "settings/DefaultPortsValue.h"

#include "settings/DefaultPortsStore.h"
#include "settings/RegistryKey.h"
#include "settings/SettingsKeyPath.h"

#include <windows.h>

#include <cstring>

namespace {

char const kValueName[] = "defaultPorts";

}  // namespace

StoredValue readDefaultPortsValue(char (&buffer)[kDefaultPortsMaxBytes]) {
    char const* path = usableSettingsKeyPath();
    RegistryKey key;
    if (!path ||
        RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, key.receive()) !=
            ERROR_SUCCESS ||
        !key) {
        return StoredValue::Absent;
    }
    DWORD size = sizeof buffer;
    LONG const result = RegQueryValueExA(key.get(), kValueName, nullptr, nullptr,
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

bool readDefaultPortsText(char (&buffer)[8192]) {
    return readDefaultPortsValue(buffer) == StoredValue::Text;
}

void writeDefaultPortsText(char const* text) {
    if (!text) {
        return;
    }
    std::size_t const bytes = std::strlen(text) + 1;
    if (bytes > kDefaultPortsMaxBytes) {
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
    RegSetValueExA(key.get(), kValueName, 0, REG_SZ, reinterpret_cast<BYTE const*>(text),
                   static_cast<DWORD>(bytes));
}
