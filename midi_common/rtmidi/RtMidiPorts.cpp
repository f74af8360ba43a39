#include "midi_common/rtmidi/RtMidiPorts.h"

#include <stdexcept>

RtMidi::Api rtMidiApi(std::uint32_t backEnd) {
    if (backEnd >= RtMidi::NUM_APIS) {
        throw std::invalid_argument("unknown MIDI back end " + std::to_string(backEnd));
    }
    return static_cast<RtMidi::Api>(backEnd);
}

std::string rtMidiPortName(RtMidi& port, unsigned index, char const* direction) {
    // RtMidi's WinMM getPortName counts the devices itself and gives an empty name (with a warning
    // on stderr) for an index that is no longer valid; only then is the count asked again, to tell
    // a vanished device from one whose name is empty. The scan calls this for every device on
    // every tick, so it asks WinMM for no count of its own on the usual path.
    std::string name = port.getPortName(index);
    if (name.empty() && index >= port.getPortCount()) {
        throw std::out_of_range(std::string("MIDI ") + direction + " index " + std::to_string(index) +
                                " is no longer valid");
    }
    return name;
}
