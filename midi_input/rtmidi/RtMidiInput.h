// The program's real MIDI inputs: RtMidi's input class, WinMM back end, behind the MidiInput seam.
//
// What RtMidi 5.0's WinMM input does inside WinMM's callback thread, which we cannot change:
// - it copies every delivery byte by byte into a vector of its own before calling us; the vector
//   keeps its capacity, so it allocates only while it grows to the largest delivery seen (at most
//   one SysEx buffer);
// - for a SysEx buffer that holds data it calls midiInAddBuffer from inside the callback, under
//   a critical section of its own, to queue the buffer again (Microsoft asks callbacks not to call
//   WinMM; every RtMidi user lives with this). An empty buffer (handed back by a reset) is not
//   queued again, and then we are not called.
// Risks in RtMidi's closePort, and what we do about them:
// - it holds that critical section across midiInReset, midiInStop, the buffers' unprepare and
//   midiInClose. A buffer the reset hands back partly filled (a SysEx cut by the close) is queued
//   again by the callback: on the closing thread (recursive entry) its unprepare then fails; on
//   another thread the callback waits for the section and then touches buffers already freed.
//   Nothing from our side prevents the second; our gate at least keeps such a late callback away
//   from the receiver: once our closePort returns, the receiver is never called.
// - when an unprepare fails it has already freed the buffer, leaves the device open, its section
//   held and itself "connected", and throws; its destructor would then free the buffers again.
//   We rethrow that error but never let RtMidi close again: its object and our gate, which its
//   callback may still reach, are kept (leaked) with the device it could not close, and later
//   opens through this input fail with a clear error.
// RtMidi reports errors by throwing RtMidiError (a std::exception); a refused open becomes a
// MidiOpenError with WinMM's code.
#pragma once

#include "midi_input/MidiInput.h"
#include "midi_input/ReceiverGate.h"

#include <atomic>
#include <memory>
#include <vector>

class RtMidiIn;

class RtMidiInput : public MidiInput {
public:
    // Sets up `input` to pass everything (SysEx, timing, active sensing) to the receiver.
    explicit RtMidiInput(std::unique_ptr<RtMidiIn> input);
    ~RtMidiInput() override;

    unsigned portCount() override;
    std::string portName(unsigned index) override;
    void openPort(unsigned index, MidiInputReceiver& receiver) override;
    bool isPortOpen() const override;
    void closePort() override;

private:
    static void onMessage(double timeStamp, std::vector<unsigned char>* message, void* self);

    // RtMidi's callback gets the gate, not us; declared first, so that it outlives RtMidi's close.
    std::unique_ptr<ReceiverGate> gate_;
    std::unique_ptr<RtMidiIn> input_;
    // Read by other threads while openPort runs; RtMidi's own flag is a plain bool.
    std::atomic<bool> open_{false};
    bool abandoned_ = false;  // RtMidi failed to close: never touch its device again
};

class RtMidiInputFactory : public MidiInputFactory {
public:
    // backEnd is an RtMidi::Api value (4: WinMM).
    std::unique_ptr<MidiInput> create(std::uint32_t backEnd, std::string const& clientName) override;
};
