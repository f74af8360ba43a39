// The other side of a simulated port: an application that opened it by name. Tests use it to
// write into the program's ports and to read what the program sends out of them.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "virtual_midi/VirtualMidiApi.h"

namespace tessivane {

struct SimulatedConnection;

class SimulatedApplicationPort {
public:
    // Null when no live port has this exact name.
    static std::unique_ptr<SimulatedApplicationPort> open(std::u16string const& name);
    // The same for a port known by its handle (the DLL's pipe bridge uses this).
    static std::unique_ptr<SimulatedApplicationPort> open(VirtualMidiPortHandle port);

    ~SimulatedApplicationPort();
    SimulatedApplicationPort(SimulatedApplicationPort const&) = delete;
    SimulatedApplicationPort& operator=(SimulatedApplicationPort const&) = delete;

    // Queues bytes for delivery on this connection's own thread. False when the port is shut
    // down or is not one that applications write into.
    bool write(std::uint8_t const* bytes, std::size_t length);
    bool write(std::vector<std::uint8_t> const& bytes) { return write(bytes.data(), bytes.size()); }

    // Returns when everything written so far was delivered or dropped.
    void flush();

    // The next message the program sent out of the port, or nothing after the timeout.
    std::optional<std::vector<std::uint8_t>> read(std::chrono::milliseconds timeout);

    // Messages the port sent that this application lost because it did not read them in time
    // (the driver keeps a bounded number unread for each reader).
    std::uint64_t lost() const;

private:
    explicit SimulatedApplicationPort(std::unique_ptr<SimulatedConnection> connection);
    std::unique_ptr<SimulatedConnection> connection_;
};

}  // namespace tessivane
