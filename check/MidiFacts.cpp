// MIDI facts through the program's own seams, and an open that a driver may never finish.
#include "check/CheckReport.h"
#include "engine/DeviceScan.h"
#include "engine/EngineTexts.h"
#include "engine/PortRequest.h"

#include <future>
#include <thread>

PortListing listPorts(std::function<std::unique_ptr<MidiPortList>()> const& open) {
    PortListing listing;
    try {
        std::unique_ptr<MidiPortList> const list = open();
        std::vector<OutputInfo> rows;
        scanDevices(*list, rows, [&](std::string const& name, unsigned index) {
            bool const loopback = name.compare(0, std::char_traits<char>::length(kLoopbackName), kLoopbackName) == 0;
            bool const own = isOwnPortName(name) || hasSuffix(name.c_str(), kInputPortSuffix);
            PortRole const role = loopback ? PortRole::Loopback : own ? PortRole::TessivanePort : PortRole::Device;
            listing.ports.push_back({name, role, "", index});
            return loopback || own;
        });
        for (ListedPort& port : listing.ports) {
            for (OutputInfo const& row : rows) {
                port.uniqueName = row.index == port.index ? row.uniqueName : port.uniqueName;
            }
        }
    } catch (std::exception const& error) {
        listing.error = error.what();
    }
    return listing;
}

std::optional<std::uint32_t> withinTime(std::function<std::uint32_t()> work, std::chrono::milliseconds limit) {
    auto task = std::make_shared<std::packaged_task<std::uint32_t()>>(std::move(work));
    std::future<std::uint32_t> result = task->get_future();
    std::thread([task] { (*task)(); }).detach();
    return result.wait_for(limit) == std::future_status::ready ? std::optional(result.get()) : std::nullopt;
}
