// Stand-in for the system's MIDI output devices, for tests and benchmarks. A test plugs, unplugs,
// renames and reorders named devices; the engine creates output objects through the bus (it is a
// MidiOutputFactory) and they behave like RtMidi's WinMM outputs: indices follow the bus's current
// order, a device that was unplugged cannot be opened, and a send to an unplugged device is lost.
//
// A device admits one output at a time, like the single-client drivers this program is for: a
// second open of a device that is held open throws std::runtime_error.
//
// Thread contract: every operation is safe from any thread (one mutex guards the bus), except
// probeOpenChecks. A device can be told to block inside sendMessage until the test releases it, to
// hold a forwarding call inside an entry while the engine's close sequence runs.
#pragma once

#include "midi_output/MidiOutput.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class FakeDeviceBus : public MidiOutputFactory {
public:
    using Message = std::vector<std::uint8_t>;

    FakeDeviceBus();
    ~FakeDeviceBus() override;

    // ---- The device list ------------------------------------------------------------------
    // Appends a device; returns its index.
    unsigned plug(std::string const& name);
    // Inserts a device at index (later devices move up by one).
    void plugAt(unsigned index, std::string const& name);
    // Removes the device at index; an output open on it stays "open" but its sends are lost, as
    // with a real unplugged device.
    void unplugAt(unsigned index);
    // Removes the first device with this name; false if there is none.
    bool unplug(std::string const& name);
    void rename(unsigned index, std::string const& newName);
    // New order: order[i] is the old index of the device that ends up at index i.
    void reorder(std::vector<unsigned> const& order);
    void swap(unsigned a, unsigned b);
    std::vector<std::string> deviceNames() const;

    // ---- Faults -----------------------------------------------------------------------------
    // Creating an output object throws std::runtime_error(text) while set (empty: never).
    void failCreate(std::string const& text);
    // Opening the device named `name` throws std::runtime_error(text) while set.
    void failOpen(std::string const& name, std::string const& text);
    // Sending to the device named `name` throws std::runtime_error(text) while set.
    void failSend(std::string const& name, std::string const& text);
    void clearFaults();
    // Sends to the device named `name` block inside sendMessage until releaseSends().
    void blockSends(std::string const& name);
    void releaseSends();
    // Number of sendMessage calls currently blocked.
    int blockedSends() const;
    // Runs `probe` at the start of every isPortOpen, on the calling thread: a forwarding call that
    // gets there has passed its test of the closing flag. Set it before other threads use the
    // bus's outputs, and remove it (empty function) before what it refers to goes.
    void probeOpenChecks(std::function<void()> probe);

    // ---- What happened ----------------------------------------------------------------------
    // Messages that reached the device named `name`, in order (recorded by physical device, so a
    // device keeps its record when its index changes). Devices that share the name, also ones
    // unplugged since, are merged in arrival order. Like WinMM, an empty message or a block longer
    // than 3 bytes that does not start with 0xF0 never arrives.
    std::vector<Message> received(std::string const& name) const;
    // Messages that reached the device plugged at index now; throws std::out_of_range.
    std::vector<Message> receivedAt(unsigned index) const;
    void clearReceived();
    // The same as received(name), and forgets those messages (long runs check them as they go).
    std::vector<Message> takeReceived(std::string const& name);
    // Sends that reached a device (an open output, no violation), and those of them that were lost
    // because the device had been unplugged.
    std::uint64_t sendCount() const;
    std::uint64_t lostSendCount() const;
    // Output objects created so far, and the back end and client name of the last one.
    int createdCount() const;
    std::uint32_t lastBackEnd() const;
    std::string lastClientName() const;
    // openPort and closePort calls made, successful or not (an output's destructor does not count).
    int openCalls() const;
    int closeCalls() const;
    // Whether some output object holds the device named `name` open now.
    bool isOpen(std::string const& name) const;
    // Index and port name given to the most recent successful open of `name`; -1 / "" if never.
    int lastOpenIndex(std::string const& name) const;
    std::string lastOpenPortName(std::string const& name) const;
    // Protocol violations seen by outputs: a send while the output was closed or while its
    // closePort was running, or two sends overlapping on one output. Must stay 0.
    int violations() const;
    // Output objects alive now (created and not yet destroyed).
    int liveOutputs() const;

    std::unique_ptr<MidiOutput> create(std::uint32_t backEnd, std::string const& clientName) override;

private:
    class Output;
    struct Device;
    friend class Output;
    struct State;
    std::shared_ptr<State> state_;
};
