#include "simulated_driver/SimulatedDriver.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <utility>

#include "simulated_driver/SimulatedPort.h"

namespace tessivane {

namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::u16string, std::shared_ptr<SimulatedPortState>> ports;  // created, not yet closed
    std::set<std::u16string> refused;
};

// Never destroyed: inside the DLL, ports may still exist while the process tears down statics.
Registry& registry() {
    static Registry* const instance = new Registry;
    return *instance;
}

thread_local std::uint32_t tLastError = 0;

VirtualMidiPortHandle fail(std::uint32_t error) {
    tLastError = error;
    return nullptr;
}

}  // namespace

VirtualMidiDriver simulatedDriver() {
    VirtualMidiDriver driver;
    driver.createPortEx2 = &simulatedCreatePortEx2;
    driver.sendData = &simulatedSendData;
    driver.shutdown = &simulatedShutdown;
    driver.closePort = &simulatedClosePort;
    return driver;
}

std::uint32_t simulatedDriverLastError() { return tLastError; }

void refusePortName(std::u16string name) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.refused.insert(std::move(name));
}

void clearRefusedPortNames() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.refused.clear();
}

std::vector<std::u16string> simulatedPortNames() {
    std::vector<std::shared_ptr<SimulatedPortState>> ports;
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        for (auto const& entry : r.ports) ports.push_back(entry.second);
    }
    std::vector<std::u16string> names;
    for (auto const& port : ports)
        if (!port->isShut()) names.push_back(port->name);
    return names;
}

std::shared_ptr<SimulatedPortState> findLivePort(std::u16string const& name) {
    std::shared_ptr<SimulatedPortState> port;
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        auto const found = r.ports.find(name);
        if (found != r.ports.end()) port = found->second;
    }
    if (port && port->isShut()) port.reset();
    return port;
}

VirtualMidiPortHandle TE_VM_CALL simulatedCreatePortEx2(char16_t const* portName,
                                                        VirtualMidiDataCallback callback,
                                                        std::uintptr_t instance,
                                                        std::uint32_t maxSysexLength,
                                                        std::uint32_t flags) {
    if (!portName || !*portName) return fail(kSimErrorInvalidParameter);
    std::u16string name(portName);
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (r.refused.count(name)) return fail(kSimErrorAccessDenied);
    // A shut-down port keeps its name until it is closed, as a driver's device object would.
    if (r.ports.count(name)) return fail(kVirtualMidiErrorAlreadyExists);
    auto state = std::make_shared<SimulatedPortState>(name, callback, instance, maxSysexLength, flags);
    auto handle = std::make_unique<VirtualMidiPort>();
    handle->state = state;
    state->handle = handle.get();
    r.ports.emplace(std::move(name), std::move(state));
    tLastError = 0;
    return handle.release();
}

int TE_VM_CALL simulatedSendData(VirtualMidiPortHandle port, std::uint8_t* bytes,
                                 std::uint32_t length) {
    if (!port || !bytes || length == 0) return 0;
    return port->state->send(bytes, length) ? 1 : 0;
}

int TE_VM_CALL simulatedShutdown(VirtualMidiPortHandle port) {
    if (!port) return 0;
    port->state->shutdown();
    return 1;
}

void TE_VM_CALL simulatedClosePort(VirtualMidiPortHandle port) {
    if (!port) return;
    std::unique_ptr<VirtualMidiPort> owned(port);
    owned->state->shutdown();
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto const found = r.ports.find(owned->state->name);
    if (found != r.ports.end() && found->second == owned->state) r.ports.erase(found);
}

}  // namespace tessivane
