// The seam through which the engine enumerates, opens, writes and closes hardware MIDI outputs.
// The program uses the RtMidi implementation (rtmidi/); tests use the fake device bus (fake_bus/).
//
// Thread contract:
// - portCount, portName, openPort and closePort are called by one thread at a time (the service
//   tick).
// - isPortOpen may be called from any thread, also while openPort runs on another one; it returns
//   true only once openPort has completed, and everything openPort wrote is visible to a caller that
//   saw true.
// - sendMessage is called only after isPortOpen returned true and never at the same time as
//   closePort (the engine's close sequence guarantees both); two sendMessage calls on one output
//   never overlap (the engine serialises them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "midi_common/MidiPortList.h"

// portCount and portName (MidiPortList) list the output devices.
class MidiOutput : public MidiPortList {
public:
    // Opens the device at index; throws std::exception on failure (a MidiOpenError when the system
    // refused it with a code of its own).
    virtual void openPort(unsigned index, std::string const& portName) = 0;
    virtual bool isPortOpen() const = 0;
    // Silences the device (no note is left hanging) and closes it; no effect when closed.
    virtual void closePort() = 0;
    // Sends one whole message (1 to 3 bytes, or a SysEx block); throws std::exception on failure.
    virtual void sendMessage(std::uint8_t const* bytes, std::size_t length) = 0;
};

class MidiOutputFactory {
public:
    virtual ~MidiOutputFactory() = default;
    // A new, unopened output object for a back end; throws std::exception when it cannot be made.
    virtual std::unique_ptr<MidiOutput> create(std::uint32_t backEnd, std::string const& clientName) = 0;
};
