// The system's MIDI devices of one direction, by index: what the output and the input seams share,
// so that the engine scans and names both with the same code.
//
// Thread contract: called by one thread at a time (the service tick).
#pragma once

#include <string>

class MidiPortList {
public:
    virtual ~MidiPortList() = default;

    // Number of devices the system lists now. Never throws.
    virtual unsigned portCount() = 0;
    // UTF-8 name of the device at index; throws std::exception if the index is no longer valid.
    virtual std::string portName(unsigned index) = 0;
};
