// One virtualized output: the engine's single connection to a hardware MIDI output and the two
// virtual ports that applications play into; or the loopback pair, which has no hardware.
//
// Thread contract:
// - Created, opened, closed and released only by the service tick's thread (and teardown).
// - forward() runs on the driver's threads, any number at once, for the entry it is given. It reads
//   the closing flag, the in-flight counter, the loopback flag, the output connection and the first
//   virtual port; the fields it reads are written before the entry's ports exist, except the
//   connection's open state, which the connection makes safe to read (see MidiOutput.h). Sends on
//   the connection are serialised by the entry's send lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "engine/AtomicFlag.h"
#include "engine/OpenOutcome.h"
#include "engine/SendLock.h"
#include "midi_output/MidiOutput.h"
#include "virtual_midi/VirtualMidiApi.h"

// Frees a malloc'd text.
struct FreeDeleter {
    void operator()(char* text) const { std::free(text); }
};
using MallocText = std::unique_ptr<char, FreeDeleter>;

// Owns one driver port: shut down and closed when released.
class VirtualPort {
public:
    VirtualPort() = default;
    VirtualPort(VirtualMidiDriver const* driver, VirtualMidiPortHandle handle)
        : driver_(driver), handle_(handle) {}
    VirtualPort(VirtualPort const&) = delete;
    VirtualPort& operator=(VirtualPort const&) = delete;
    VirtualPort& operator=(VirtualPort&& other) noexcept {
        reset();
        driver_ = other.driver_;
        handle_ = other.handle_;
        other.handle_ = nullptr;
        return *this;
    }
    ~VirtualPort() { reset(); }

    VirtualMidiPortHandle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    // Shutdown, then close: after this no data callback for the port runs or will start.
    void reset() {
        if (handle_ != nullptr) {
            driver_->shutdown(handle_);
            driver_->closePort(handle_);
            handle_ = nullptr;
        }
    }

private:
    VirtualMidiDriver const* driver_ = nullptr;
    VirtualMidiPortHandle handle_ = nullptr;
};

struct PortEntry {
    // The hardware output; absent for the loopback entry.
    std::unique_ptr<MidiOutput> output;
    // The unique output name, or the loopback name.
    MallocText name;
    // " - MIDI" port, or the loopback's " In" port.
    VirtualPort firstPort;
    // " - SysEx" port, or the loopback's " Out" port.
    VirtualPort secondPort;
    // Forwarding calls inside this entry now.
    std::atomic<std::int32_t> inFlight{0};
    // Set while the output is being closed, and from release on.
    AtomicFlag closing;
    bool loopback = false;
    // The driver whose ports these are (for the loopback send).
    VirtualMidiDriver const* driver = nullptr;
    // Held around each send on the output connection.
    SendLock sendLock;
    // Why the last open of the output failed, for the program's state.
    OpenOutcome lastOpen;

    bool hasName(char const* other) const;
    bool outputOpen() const { return output != nullptr && output->isPortOpen(); }
};

// The data callback given to the driver for every port; instance is the entry's address.
void TE_VM_CALL onPortData(VirtualMidiPortHandle port, std::uint8_t* bytes, std::uint32_t length,
                           std::uintptr_t instance);

// Closes an entry's output safely against concurrent forwarding: set the closing flag, wait until
// no forwarding call is inside the entry, close, clear the flag.
void runOutputCloseSequence(PortEntry& entry);

// Stops all deliveries to an entry for good: sets its closing flag, waits out forwarding calls
// inside it, shuts down and closes both ports.
void retirePorts(PortEntry& entry);

// Releases an entry completely (teardown): no delivery reaches it or its connection afterwards.
void releaseEntry(std::unique_ptr<PortEntry> entry);
