// Stand-in for the system's MIDI devices, for tests and benchmarks: outputs, and inputs that play
// what a test queues. A test plugs, unplugs, renames and reorders named devices (outputs and inputs
// are two lists of their own, as under WinMM); the engine creates output and input objects through
// the bus (it is a MidiOutputFactory and a MidiInputFactory) and they behave like RtMidi's WinMM
// ones: indices follow the bus's current order, a device that was unplugged cannot be opened, a
// send to an unplugged output is lost, and an input whose device was unplugged stays open but gets
// nothing.
//
// A device admits one output or input at a time, like the single-client drivers this program is
// for: a second open of an output that is held open throws std::runtime_error; of an input, a
// MidiOpenError with kMidiErrorAllocated, as WinMM refuses it.
//
// Inputs, by design: each input device has a player thread of its own (started when a test first
// queues deliveries for it), which makes one receive call per queued delivery, in order, to the
// receiver of the input that holds the device open, the way WinMM's callback thread does. A
// delivery that finds the device unplugged or not held open is dropped and counted. An input's
// closePort waits for a delivery that is running, through the same gate as the real inputs, so
// that once it returns the receiver is not called; a test can hold deliveries at their start
// (blockDeliveries) to close while one is running.
//
// Thread contract: every operation is safe from any thread (one mutex guards the outputs, one the
// inputs), except probeOpenChecks. A device can be told to block inside sendMessage until the test
// releases it, to hold a forwarding call inside an entry while the engine's close sequence runs.
#pragma once

#include "midi_input/MidiInput.h"
#include "midi_output/MidiOutput.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The two factory interfaces declare the same create(); these give each its own name in the bus.
namespace fake_bus_detail {

class OutputFactory : public MidiOutputFactory {
public:
    std::unique_ptr<MidiOutput> create(std::uint32_t backEnd, std::string const& clientName) final {
        return createOutput(backEnd, clientName);
    }
    virtual std::unique_ptr<MidiOutput> createOutput(std::uint32_t backEnd, std::string const& clientName) = 0;
};

class InputFactory : public MidiInputFactory {
public:
    std::unique_ptr<MidiInput> create(std::uint32_t backEnd, std::string const& clientName) final {
        return createInput(backEnd, clientName);
    }
    virtual std::unique_ptr<MidiInput> createInput(std::uint32_t backEnd, std::string const& clientName) = 0;
};

}  // namespace fake_bus_detail

class FakeDeviceBus : public fake_bus_detail::OutputFactory, public fake_bus_detail::InputFactory {
public:
    using Message = std::vector<std::uint8_t>;
    // bus.create() makes an output, as it did before inputs existed; createInput an input.
    using fake_bus_detail::OutputFactory::create;

    FakeDeviceBus();
    ~FakeDeviceBus() override;

    // ---- The output device list ------------------------------------------------------------
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
    // Clears every output and input fault (an input held elsewhere too).
    void clearFaults();
    // Creating an output object throws std::runtime_error(text) while set (empty: never).
    void failCreate(std::string const& text);
    // Opening the device named `name` throws std::runtime_error(text) while set.
    void failOpen(std::string const& name, std::string const& text);
    // Sending to the device named `name` throws std::runtime_error(text) while set.
    void failSend(std::string const& name, std::string const& text);
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

    std::unique_ptr<MidiOutput> createOutput(std::uint32_t backEnd, std::string const& clientName) override;

    // ==== Inputs ==============================================================================

    // ---- The input device list (its own, beside the outputs') --------------------------------
    unsigned plugInput(std::string const& name);  // appends; returns the index
    void plugInputAt(unsigned index, std::string const& name);
    void unplugInputAt(unsigned index);
    bool unplugInput(std::string const& name);  // the first of this name; false if none
    void renameInput(unsigned index, std::string const& newName);
    void reorderInputs(std::vector<unsigned> const& order);  // as reorder
    std::vector<std::string> inputNames() const;

    // ---- Input faults (cleared by clearFaults) ------------------------------------------------
    // Creating an input object throws std::runtime_error(text) while set (empty: never).
    void failInputCreate(std::string const& text);
    // Opening the input named `name` throws std::runtime_error(text), or MidiOpenError(text,
    // systemCode) when systemCode is not 0.
    void failInputOpen(std::string const& name, std::string const& text, std::uint32_t systemCode = 0);
    // Another application holds the input named `name`: opening it throws what RtMidiInput throws
    // then, RtMidi's text with kMidiErrorAllocated.
    void holdInputElsewhere(std::string const& name);

    // ---- Playing ---------------------------------------------------------------------------
    // Queues deliveries for the input device named `name` (the first plugged one of that name,
    // else the one last unplugged; std::invalid_argument if there never was one). Each becomes one
    // receive call, in order, on the device's player thread; with a pace, one every `pace` on
    // average from when the player takes the first of them (it catches up after a delay), else as
    // fast as the receiver takes them.
    void playInput(std::string const& name, std::vector<Message> const& deliveries,
                   std::chrono::microseconds pace = std::chrono::microseconds(0));
    // Waits until every delivery queued so far was delivered or dropped; false on timeout (a
    // blocked delivery never finishes before releaseDeliveries).
    bool waitUntilPlayed(std::chrono::milliseconds timeout) const;
    // Deliveries of inputs named `name` stop at their start, already inside the input (its
    // closePort waits for them), until releaseDeliveries(); then each calls its receiver, also when
    // closePort has begun meanwhile, as WinMM's callback may.
    void blockDeliveries(std::string const& name);
    void releaseDeliveries();
    int blockedDeliveries() const;  // deliveries held now

    // ---- What devices play -----------------------------------------------------------------
    // `count` three-byte messages of `status` whose data bytes count up (message i carries i >> 7
    // and i & 0x7F), so that a reader can check order and completeness.
    static std::vector<Message> shortMessages(std::size_t count, std::uint8_t status = 0x90);
    // A whole SysEx of `length` bytes, 0xF0 and 0xF7 included, with data bytes that count up.
    static Message sysex(std::size_t length);
    // A SysEx as WinMM hands it over: buffers of bufferSize bytes, the first with 0xF0, the last
    // with 0xF7. A realTime byte other than 0 is slipped in: as a delivery of its own between every
    // two buffers, or into the middle of every buffer (which then holds one byte more).
    enum class RealTimeAt { BetweenBuffers, InsideBuffers };
    static std::vector<Message> sysexBuffers(Message const& sysex, std::size_t bufferSize,
                                             std::uint8_t realTime = 0,
                                             RealTimeAt at = RealTimeAt::BetweenBuffers);

    // ---- What happened to inputs ---------------------------------------------------------------
    // Deliveries that reached a receiver from devices named `name`, in order (recorded by physical
    // device, so a record survives index changes; devices that share the name are merged).
    std::vector<Message> inputDelivered(std::string const& name) const;
    std::uint64_t deliveredCount() const;
    std::uint64_t droppedCount() const;  // device unplugged, not held open, or the bus ended
    int createdInputs() const;
    std::string lastInputClientName() const;
    // openPort and closePort calls made, successful or not (an input's destructor does not count).
    int inputOpenCalls() const;
    int inputCloseCalls() const;
    int liveInputs() const;  // input objects alive now
    // Whether some input object holds the device named `name` open now.
    bool isInputOpen(std::string const& name) const;
    // Index given to the most recent successful open of `name`; -1 if never.
    int lastInputOpenIndex(std::string const& name) const;
    // Contract breaches seen by inputs: a receiver call that threw, or a call into an input from
    // inside its own receiver (closePort there would wait for itself). Must stay 0.
    int inputViolations() const;

    std::unique_ptr<MidiInput> createInput(std::uint32_t backEnd, std::string const& clientName) override;

private:
    class Output;
    struct Device;
    friend class Output;
    struct State;
    std::shared_ptr<State> state_;

    class Input;
    struct InputDevice;
    struct InputState;
    static std::shared_ptr<InputState> makeInputState();
    void stopInputDevices();
    void clearInputFaults();
    std::shared_ptr<InputState> inputs_;
};
