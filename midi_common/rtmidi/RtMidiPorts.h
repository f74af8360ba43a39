// What the RtMidi implementations of both MIDI seams share: the back-end check and the device
// name by index.
#pragma once

#include <rtmidi/RtMidi.h>

#include <cstdint>
#include <string>

// The RtMidi::Api of a stored back-end number (4: WinMM); throws std::invalid_argument for a
// value outside the enumeration, whose cast would be undefined behaviour.
RtMidi::Api rtMidiApi(std::uint32_t backEnd);

// The name of the device at index; throws std::out_of_range when the index is no longer valid.
// `direction` ("input", "output") names the device kind in that error.
std::string rtMidiPortName(RtMidi& port, unsigned index, char const* direction);
