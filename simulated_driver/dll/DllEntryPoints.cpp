// The exported entry points of teVirtualMIDI64.dll (the four the program uses and the two version
// calls): the in-process simulated driver, plus a
// pipe server per port so that other processes can use the port, and Win32 error reporting.
#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "simulated_driver/PortNameCodec.h"
#include "simulated_driver/SimulatedDriver.h"
#include "simulated_driver/dll/PipePortServer.h"

using tessivane::PipePortServer;

namespace {

struct Servers {
    std::mutex mutex;
    std::map<VirtualMidiPortHandle, std::unique_ptr<PipePortServer>> byPort;
};

// Never destroyed: at process exit Windows has already ended the server threads.
Servers& servers() {
    static Servers* const instance = new Servers;
    return *instance;
}

// Names listed in TESSIVANE_SIM_REFUSE (separated by '|'), read afresh at every create.
bool refusedByEnvironment(std::u16string const& name) {
    DWORD const size = GetEnvironmentVariableW(L"TESSIVANE_SIM_REFUSE", nullptr, 0);
    if (size == 0) return false;
    std::wstring value(size, L'\0');
    DWORD const length = GetEnvironmentVariableW(L"TESSIVANE_SIM_REFUSE", &value[0], size);
    value.resize(length < size ? length : 0);
    std::u16string const list(value.begin(), value.end());
    for (auto const& refused : tessivane::splitRefusedNames(tessivane::utf8FromUtf16(list)))
        if (refused == name) return true;
    return false;
}

std::unique_ptr<PipePortServer> takeServer(VirtualMidiPortHandle port) {
    Servers& s = servers();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto const found = s.byPort.find(port);
    if (found == s.byPort.end()) return nullptr;
    std::unique_ptr<PipePortServer> server = std::move(found->second);
    s.byPort.erase(found);
    return server;
}

}  // namespace

extern "C" {

__declspec(dllexport) VirtualMidiPortHandle TE_VM_CALL virtualMIDICreatePortEx2(
    char16_t const* portName, VirtualMidiDataCallback callback, std::uintptr_t instance,
    std::uint32_t maxSysexLength, std::uint32_t flags) {
    if (portName && *portName && refusedByEnvironment(portName)) {
        SetLastError(tessivane::kSimErrorAccessDenied);
        return nullptr;
    }
    VirtualMidiPortHandle const port =
        tessivane::simulatedCreatePortEx2(portName, callback, instance, maxSysexLength, flags);
    if (!port) {
        SetLastError(tessivane::simulatedDriverLastError());
        return nullptr;
    }
    DWORD error = 0;
    auto server = PipePortServer::start(port, portName, flags, error);
    if (!server) {
        tessivane::simulatedClosePort(port);
        SetLastError(error);
        return nullptr;
    }
    Servers& s = servers();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.byPort.emplace(port, std::move(server));
    SetLastError(0);
    return port;
}

__declspec(dllexport) int TE_VM_CALL virtualMIDISendData(VirtualMidiPortHandle port,
                                                         std::uint8_t* bytes, std::uint32_t length) {
    return tessivane::simulatedSendData(port, bytes, length);
}

__declspec(dllexport) int TE_VM_CALL virtualMIDIShutdown(VirtualMidiPortHandle port) {
    // The port first: after that no callback runs, and sessions find their writes refused.
    int const result = tessivane::simulatedShutdown(port);
    takeServer(port).reset();
    return result;
}

__declspec(dllexport) void TE_VM_CALL virtualMIDIClosePort(VirtualMidiPortHandle port) {
    if (!port) return;
    tessivane::simulatedShutdown(port);
    takeServer(port).reset();
    tessivane::simulatedClosePort(port);
}

// Numbers and text that no vendor build has, so a report shows at once that this is the stand-in.
__declspec(dllexport) char16_t const* TE_VM_CALL virtualMIDIGetVersion(std::uint16_t* major, std::uint16_t* minor,
                                                                       std::uint16_t* release, std::uint16_t* build) {
    if (major) *major = 0;
    if (minor) *minor = 9;
    if (release) *release = 0;
    if (build) *build = 0;
    return u"0.9.0.0 simulated";
}

__declspec(dllexport) char16_t const* TE_VM_CALL virtualMIDIGetDriverVersion(std::uint16_t* major, std::uint16_t* minor,
                                                                             std::uint16_t* release, std::uint16_t* build) {
    return virtualMIDIGetVersion(major, minor, release, build);
}

}  // extern "C"
