// The program's real MIDI outputs: RtMidi's output class behind the MidiOutput seam.
// RtMidi reports errors by throwing RtMidiError (a std::exception); they pass through unchanged,
// but for a failed open, which becomes a MidiOpenError with RtMidi's text and the system's code.
#pragma once

#include "midi_output/MidiOutput.h"

#include <atomic>
#include <memory>

class RtMidiOut;

class RtMidiOutput : public MidiOutput {
public:
    explicit RtMidiOutput(std::unique_ptr<RtMidiOut> output);
    ~RtMidiOutput() override;

    unsigned portCount() override;
    std::string portName(unsigned index) override;
    void openPort(unsigned index, std::string const& portName) override;
    bool isPortOpen() const override;
    void closePort() override;
    void sendMessage(std::uint8_t const* bytes, std::size_t length) override;

private:
    std::unique_ptr<RtMidiOut> output_;
    // Read by other threads while openPort runs; RtMidi's own flag is a plain bool.
    std::atomic<bool> open_{false};
};

// Opens the WinMM output device at index and closes it at once, sending nothing: the system's code
// for the open (an MMRESULT; 0 when it opened).
std::uint32_t probeWinMmOutput(unsigned index);

class RtMidiOutputFactory : public MidiOutputFactory {
public:
    // backEnd is an RtMidi::Api value (4: WinMM).
    std::unique_ptr<MidiOutput> create(std::uint32_t backEnd, std::string const& clientName) override;
};
