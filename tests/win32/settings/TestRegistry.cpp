#include "tests/win32/settings/TestRegistry.h"

#include "settings/RegistryKey.h"

#include <gtest/gtest.h>

void setRawValue(char const* keyPath, char const* name, DWORD type, std::string const& bytes) {
    RegistryKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, key.receive(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key.get(), name, 0, type,
                             reinterpret_cast<BYTE const*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
}

std::optional<RawValue> rawValue(char const* keyPath, char const* name) {
    RegistryKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_QUERY_VALUE, key.receive()) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    RawValue value;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.bytes.resize(size);
    if (RegQueryValueExA(key.get(), name, nullptr, &value.type,
                         reinterpret_cast<BYTE*>(value.bytes.data()), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.bytes.resize(size);
    return value;
}

void deleteRawValue(char const* keyPath, char const* name) {
    RegistryKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_SET_VALUE, key.receive()) ==
        ERROR_SUCCESS) {
        RegDeleteValueA(key.get(), name);
    }
}

bool keyExists(char const* keyPath) {
    RegistryKey key;
    return RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_QUERY_VALUE, key.receive()) ==
           ERROR_SUCCESS;
}

void deleteKeyTree(char const* keyPath) {
    RegDeleteTreeA(HKEY_CURRENT_USER, keyPath);
    RegDeleteKeyA(HKEY_CURRENT_USER, keyPath);
}
