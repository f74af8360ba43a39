// Windows itself, its MIDI service, and the virtual-port driver as the program would load it.
#include "check/win32/MachineFacts.h"

#include "check/win32/ScopedHandles.h"

#include "virtual_midi/win32/VirtualMidiLoader.h"

#include <windows.h>


namespace {

std::string dllSays(HMODULE module, char const* function) {
    auto const call = reinterpret_cast<VirtualMidiGetVersionFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, function)));
    if (!call) {
        return "";
    }
    std::uint16_t major = 0, minor = 0, release = 0, build = 0;
    auto const* text = reinterpret_cast<wchar_t const*>(call(&major, &minor, &release, &build));
    std::string numbers = std::to_string(major) + "." + std::to_string(minor) + "." +
                          std::to_string(release) + "." + std::to_string(build);
    return text && *text ? utf8(text) + " (" + numbers + ")" : numbers;
}

std::string fileVersion(std::wstring const& path) {
    DWORD ignored = 0;
    DWORD const size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::string data(size, '\0');
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, &data[0]) ||
        !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info) {
        return "";
    }
    return std::to_string(HIWORD(info->dwFileVersionMS)) + "." + std::to_string(LOWORD(info->dwFileVersionMS)) +
           "." + std::to_string(HIWORD(info->dwFileVersionLS)) + "." + std::to_string(LOWORD(info->dwFileVersionLS));
}

}  // namespace

std::string utf8(std::wstring const& text) {
    int const size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string result(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], size, nullptr,
                            nullptr);
    }
    return result;
}

SystemFacts systemFacts() {
    SystemFacts facts;
    // GetVersionEx answers what the manifest claims to support; ntdll's own call does not.
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    auto const getVersion = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (getVersion && getVersion(&version) == 0) {
        facts.major = version.dwMajorVersion;
        facts.minor = version.dwMinorVersion;
        facts.build = version.dwBuildNumber;
    }
    facts.ansiCodePage = GetACP();
    return facts;
}

MidiServiceFacts midiServiceFacts() {
    MidiServiceFacts facts;
    // Connect and query rights only: anyone may ask, and nothing can be changed through them.
    ServiceHandle const manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    ServiceHandle const service(manager ? OpenServiceW(manager.get(), L"midisrv", SERVICE_QUERY_STATUS) : nullptr);
    SERVICE_STATUS status = {};
    if (!service || !QueryServiceStatus(service.get(), &status)) {
        return facts;
    }
    facts.installed = true;
    switch (status.dwCurrentState) {
    case SERVICE_RUNNING: facts.state = "running"; break;
    case SERVICE_STOPPED: facts.state = "stopped"; break;
    case SERVICE_START_PENDING: facts.state = "starting"; break;
    case SERVICE_STOP_PENDING: facts.state = "stopping"; break;
    default: facts.state = "paused"; break;
    }
    return facts;
}

DriverFacts driverFacts() {
    DriverFacts facts;
    VirtualMidiLibrary const library = openVirtualMidiLibrary(kVirtualMidiDriverFile);
    facts.path = utf8(library.path);
    facts.inSystemFolder = library.inSystemFolder;
    facts.error = library.binding.error;
    facts.state = library.binding.driver.complete() ? DriverState::Usable
                  : library.path.empty()            ? DriverState::Missing
                  : !library.module                 ? DriverState::LoadFailed
                                                    : DriverState::FunctionMissing;
    if (!library.path.empty()) {
        facts.fileVersion = fileVersion(library.path);
    }
    for (char const* function : kVirtualMidiFunctions) {
        facts.functions.emplace_back(function, library.module && GetProcAddress(library.module, function));
    }
    if (library.module) {
        facts.dllVersion = dllSays(library.module, "virtualMIDIGetVersion");
        facts.driverVersion = dllSays(library.module, "virtualMIDIGetDriverVersion");
    }
    return facts;
}
