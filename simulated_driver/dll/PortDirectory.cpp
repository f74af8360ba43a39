#include "simulated_driver/dll/PortDirectory.h"

#include <windows.h>

#include "simulated_driver/PortNameCodec.h"
#include "simulated_driver/dll/Win32Handle.h"

namespace tessivane {

namespace {

wchar_t const kDirectoryKey[] = L"Software\\Tessivane\\SimulatedPorts";

std::wstring lastComponent(std::wstring const& path) {
    return path.substr(path.find_last_of(L'\\') + 1);
}

struct RegistryKey {
    ~RegistryKey() {
        if (key) RegCloseKey(key);
    }
    HKEY key = nullptr;
};

}  // namespace

std::wstring portPipeName(std::u16string const& portName) {
    std::u16string const name = pipeNameForPort(portName);
    return std::wstring(name.begin(), name.end());
}

std::wstring portTokenName(std::u16string const& portName) {
    return L"Local\\" + lastComponent(portPipeName(portName));
}

void publishPort(std::u16string const& portName) {
    RegistryKey directory;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kDirectoryKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &directory.key, nullptr) != ERROR_SUCCESS)
        return;  // the port works without being listed
    std::wstring const value = lastComponent(portPipeName(portName));
    RegSetValueExW(directory.key, value.c_str(), 0, REG_SZ, reinterpret_cast<BYTE const*>(L""), sizeof(wchar_t));
}

void withdrawPort(std::u16string const& portName) {
    RegistryKey directory;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kDirectoryKey, 0, KEY_SET_VALUE, &directory.key) != ERROR_SUCCESS)
        return;
    RegDeleteValueW(directory.key, lastComponent(portPipeName(portName)).c_str());
}

std::vector<std::u16string> listedLivePorts() {
    std::vector<std::u16string> names;
    RegistryKey directory;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kDirectoryKey, 0, KEY_QUERY_VALUE, &directory.key) != ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        wchar_t value[512];
        DWORD length = sizeof value / sizeof value[0];
        LONG const result = RegEnumValueW(directory.key, index, value, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS) continue;
        // The value name is the pipe component; anything we did not write decodes to nothing.
        auto const name = portNameFromPipeComponent(std::u16string(value, value + length));
        if (!name) continue;
        Win32Handle token(OpenMutexW(SYNCHRONIZE, FALSE, portTokenName(*name).c_str()));
        if (token) names.push_back(*name);
    }
    return names;
}

}  // namespace tessivane
