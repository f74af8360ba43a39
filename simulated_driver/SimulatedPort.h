// Inside the simulated driver: one port's shared state, and one application's connection to it.
// Connections keep the state alive, so a handle may be closed while applications still hold it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "midi_common/MidiStreamParser.h"
#include "virtual_midi/VirtualMidiApi.h"

namespace tessivane {

struct SimulatedConnection;

struct SimulatedPortState {
    SimulatedPortState(std::u16string name, VirtualMidiDataCallback callback,
                       std::uintptr_t instance, std::uint32_t maxSysexLength, std::uint32_t flags);

    // Neither side flag means both sides.
    bool acceptsWrites() const;
    bool sendsToReaders() const;
    bool parsesWrites() const { return flags & kVirtualMidiParseRx; }

    // Calls the program's callback with one block, unless the port is shut down.
    void deliver(std::uint8_t* bytes, std::size_t length);

    // What the program sends out of the port; false when shut down or not a sending port.
    bool send(std::uint8_t const* bytes, std::size_t length);

    // After this returns no callback is running or will start; a callback of this port that
    // calls it is not waited for (it would wait for itself).
    void shutdown();
    bool isShut();

    void addReader(SimulatedConnection* reader);
    void removeReader(SimulatedConnection* reader);

    std::u16string const name;
    VirtualMidiDataCallback const callback;
    std::uintptr_t const instance;
    std::uint32_t const maxSysexLength;
    std::uint32_t const flags;
    VirtualMidiPortHandle handle = nullptr;

private:
    void publish(std::uint8_t const* bytes, std::size_t length);

    std::mutex mutex_;
    std::condition_variable idle_;
    bool shut_ = false;
    int runningCallbacks_ = 0;
    std::vector<SimulatedConnection*> readers_;

    std::mutex sendMutex_;  // sends may come from several threads; the parser has state
    MidiStreamParser sendParser_;
};

// One application's connection: its writes are delivered in order on its own thread, and what
// the port sends is queued here for it to read.
struct SimulatedConnection {
    explicit SimulatedConnection(std::shared_ptr<SimulatedPortState> port);
    ~SimulatedConnection();

    bool write(std::uint8_t const* bytes, std::size_t length);
    void flush();
    bool read(std::vector<std::uint8_t>& message, std::chrono::milliseconds timeout);
    void receive(std::uint8_t const* bytes, std::size_t length);
    std::uint64_t lost();

    std::shared_ptr<SimulatedPortState> const port;

private:
    void run();

    MidiStreamParser parser_;  // used by the delivery thread only

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable drained_;
    std::deque<std::vector<std::uint8_t>> pending_;
    std::size_t inProgress_ = 0;
    bool stopping_ = false;

    std::mutex inboxMutex_;
    std::condition_variable inboxReady_;
    std::deque<std::vector<std::uint8_t>> inbox_;
    std::uint64_t lost_ = 0;  // messages for a full inbox

    std::thread thread_;  // last: starts once everything above exists
};

// The live (not shut down) port of this name, if any.
std::shared_ptr<SimulatedPortState> findLivePort(std::u16string const& name);

}  // namespace tessivane

// The handle the driver gives out.
struct VirtualMidiPort {
    std::shared_ptr<tessivane::SimulatedPortState> state;
};
