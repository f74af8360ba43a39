// The seam through which the engine enumerates, opens and closes hardware MIDI inputs, the mirror
// of MidiOutput.h for shared inputs. The program uses the RtMidi implementation (rtmidi/); tests
// use the fake device bus.
//
// Thread contract:
// - portCount, portName, openPort and closePort are called by one thread at a time (the service
//   tick).
// - isPortOpen may be called from any thread; it returns true only once openPort has completed.
// - The receiver is called on the input's own thread (WinMM's callback thread), one call at a time
//   for one input, only from the start of a successful openPort until closePort returns: once
//   closePort has returned, no call runs or will start until the next open. The receiver must not
//   call back into the input, nor call WinMM at all (it runs inside WinMM's callback), and must not
//   wait for anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "midi_common/MidiPortList.h"

class MidiInputReceiver {
public:
    // One delivery, as the system handed it over: either one short message (a status byte with its
    // data bytes; real-time bytes come as one-byte messages), or one buffer of long data, which is a
    // piece of a SysEx as the system filled it: it may continue a SysEx (no F0), stop before its end
    // (no F7, the rest comes in the next buffer) and hold real-time bytes among its data. A delivery
    // may be empty (a buffer handed back unfilled). The bytes stay valid only during the call.
    virtual void receive(std::uint8_t const* bytes, std::size_t length) = 0;

protected:
    ~MidiInputReceiver() = default;
};

// portCount and portName (MidiPortList) list the input devices.
class MidiInput : public MidiPortList {
public:
    // Opens the device at index and delivers what it plays to `receiver` until closePort. Throws
    // std::exception on failure: a MidiOpenError carrying the system's code when the system refused
    // the open (kMidiErrorAllocated: another application has the device).
    virtual void openPort(unsigned index, MidiInputReceiver& receiver) = 0;
    virtual bool isPortOpen() const = 0;
    // Stops and closes the device; no effect when closed. When it returns, no receiver call runs.
    virtual void closePort() = 0;
};

class MidiInputFactory {
public:
    virtual ~MidiInputFactory() = default;
    // A new, unopened input object for a back end; throws std::exception when it cannot be made.
    virtual std::unique_ptr<MidiInput> create(std::uint32_t backEnd, std::string const& clientName) = 0;
};
