#include "midi_services/win32/MidiServicesRegistry.h"

#include <windows.h>

#include <string>

namespace {

wchar_t const kDrivers32[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";

std::optional<std::uint32_t> number(wchar_t const* name) {
    DWORD value = 0, size = sizeof value;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kDrivers32, name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

// Driver file names are plain ASCII; anything else cannot be wdmaud2.drv and is left out.
std::string ascii(std::wstring const& text) {
    std::string result;
    for (wchar_t c : text) {
        result += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return result;
}

}  // namespace

MidiServicesRegistry readMidiServicesRegistry() {
    MidiServicesRegistry registry;
    // WinMM loads the values "midi" and "midi1" to "midi9".
    for (int n = 0; n <= 9; ++n) {
        std::wstring const name = n == 0 ? L"midi" : L"midi" + std::to_wstring(n);
        wchar_t data[MAX_PATH] = {};
        DWORD size = sizeof data;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, kDrivers32, name.c_str(), RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ |
                             RRF_NOEXPAND, nullptr, data, &size) == ERROR_SUCCESS) {
            registry.midiDrivers.emplace_back(ascii(name), ascii(data));
        }
    }
    registry.transferComplete = number(L"MidisrvTransferComplete");
    registry.useLegacyMidi = number(L"UseLegacyMidi");
    return registry;
}

MidiServicesMode windowsMidiServicesMode() {
    return decideMidiServicesMode(readMidiServicesRegistry());
}
