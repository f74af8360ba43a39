// Windows itself, its MIDI service, and the virtual-port driver as the program would load it.
#include "check/win32/MachineFacts.h"

#include "midi_services/win32/MidiServicesRegistry.h"
#include "settings/RegistryKey.h"
#include "virtual_midi/win32/VirtualMidiLoader.h"

#include <wtsapi32.h>

#include <cwchar>

// GetVersionEx answers what the manifest claims to support; ntdll's own call does not.
extern "C" LONG WINAPI RtlGetVersion(OSVERSIONINFOW* version);

namespace {

wchar_t const kCurrentVersion[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
wchar_t const kLayers[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";

using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, decltype(&CloseServiceHandle)>;

std::optional<DriverVersion> dllSays(HMODULE module, char const* function) {
    auto const call =
        reinterpret_cast<VirtualMidiGetVersionFn>(reinterpret_cast<void (*)()>(GetProcAddress(module, function)));
    std::uint16_t major = 0, minor = 0, release = 0, build = 0;
    auto const* text = call ? reinterpret_cast<wchar_t const*>(call(&major, &minor, &release, &build)) : nullptr;
    std::string const numbers = std::to_string(major) + "." + std::to_string(minor) + "." +
                                std::to_string(release) + "." + std::to_string(build);
    DriverVersion version{text && *text ? utf8(text) + " (" + numbers + ")" : numbers, {major, minor, release, build}};
    return call ? std::optional(version) : std::nullopt;
}

// The Compatibility tab's settings of every tessivane.exe: values named after programs' paths.
std::vector<std::pair<std::string, std::string>> compatibilitySettings() {
    std::vector<std::pair<std::string, std::string>> settings;
    for (HKEY const root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        RegistryKey key;
        LONG result = RegOpenKeyExW(root, kLayers, 0, KEY_QUERY_VALUE, key.receive());
        for (DWORD index = 0; result != ERROR_NO_MORE_ITEMS && key; ++index) {
            wchar_t path[32768], data[1024] = {};
            DWORD length = 32768, bytes = sizeof data - sizeof data[0], type = 0;
            result = RegEnumValueW(key.get(), index, path, &length, nullptr, &type, reinterpret_cast<BYTE*>(data),
                                   &bytes);
            bool const text = result == ERROR_SUCCESS && type == REG_SZ;
            wchar_t const* file = text && std::wcsrchr(path, L'\\') ? std::wcsrchr(path, L'\\') + 1 : path;
            if (text && CompareStringOrdinal(file, -1, L"tessivane.exe", -1, TRUE) == CSTR_EQUAL) {
                settings.emplace_back(utf8(path), utf8(data));
            }
        }
    }
    return settings;
}

}  // namespace

std::wstring registryText(HKEY root, wchar_t const* key, wchar_t const* value) {
    std::wstring text(32768, L'\0');  // a path at its longest
    DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    LONG const result = RegGetValueW(root, key, value, RRF_RT_REG_SZ, nullptr, &text[0], &bytes);
    text.resize(result == ERROR_SUCCESS ? wcsnlen(text.c_str(), text.size()) : 0);
    return text;
}

SystemFacts systemFacts() {
    SystemFacts facts;
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    RtlGetVersion(&version);
    facts.major = version.dwMajorVersion, facts.minor = version.dwMinorVersion, facts.build = version.dwBuildNumber;
    facts.displayVersion = utf8(registryText(HKEY_LOCAL_MACHINE, kCurrentVersion, L"DisplayVersion"));
    DWORD update = 0, size = sizeof update;
    if (!RegGetValueW(HKEY_LOCAL_MACHINE, kCurrentVersion, L"UBR", RRF_RT_REG_DWORD, nullptr, &update, &size)) {
        facts.updateBuild = update;
    }
    facts.ansiCodePage = GetACP();
    facts.compatibility = compatibilitySettings();
    wchar_t user[257];
    DWORD length = 257;
    facts.user = GetUserNameW(user, &length) ? utf8(user) : "";
    wchar_t* sessionUser = nullptr;
    if (WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSUserName, &sessionUser, &size)) {
        facts.sessionUser = utf8(sessionUser);
        WTSFreeMemory(sessionUser);
    }
    return facts;
}

MidiServicesFacts midiServicesFacts() {
    MidiServicesFacts facts;
    facts.mode = windowsMidiServicesMode();
    // Connect and query rights only: anyone may ask, and nothing can be changed through them.
    ServiceHandle const manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT), &CloseServiceHandle);
    ServiceHandle const service(manager ? OpenServiceW(manager.get(), L"midisrv", SERVICE_QUERY_STATUS) : nullptr,
                                &CloseServiceHandle);
    bool const missing = !service && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
    SERVICE_STATUS status = {};
    char const* const states[] = {"not readable", "stopped", "start pending", "stop pending", "running",
                                  "continue pending", "pause pending", "paused"};
    DWORD const state = service && QueryServiceStatus(service.get(), &status) ? status.dwCurrentState : 0;
    facts.service = missing                   ? "not installed"
                    : state <= SERVICE_PAUSED ? states[state] : "in state " + std::to_string(state);
    return facts;
}

DriverFacts driverFacts() {
    DriverFacts facts;
    VirtualMidiLibrary const library = openVirtualMidiLibrary(kVirtualMidiDriverFile);
    facts.path = utf8(library.path);
    facts.error = library.binding.error;
    facts.state = library.binding.driver.complete() ? DriverState::Usable
                  : library.path.empty()            ? DriverState::Missing
                  : !library.module                 ? DriverState::LoadFailed
                                                    : DriverState::FunctionMissing;
    facts.dll = library.module ? dllSays(library.module, "virtualMIDIGetVersion") : std::nullopt;
    facts.kernel = library.module ? dllSays(library.module, "virtualMIDIGetDriverVersion") : std::nullopt;
    return facts;
}
