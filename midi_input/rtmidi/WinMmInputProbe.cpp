#include "midi_input/rtmidi/WinMmInputProbe.h"

#include <windows.h>
#include <mmsystem.h>

#include <memory>
#include <type_traits>

std::uint32_t probeInputOpen(unsigned index) {
    HMIDIIN handle = nullptr;
    MMRESULT const result = midiInOpen(&handle, index, 0, 0, CALLBACK_NULL);
    // Opened: the device is free after all; let go of it at once.
    std::unique_ptr<std::remove_pointer_t<HMIDIIN>, decltype(&midiInClose)> const opened(
        result == MMSYSERR_NOERROR ? handle : nullptr, &midiInClose);
    return result;
}
