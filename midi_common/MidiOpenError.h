// A device open that the system refused, with the system's own code (an MMRESULT under WinMM), so
// that a report can tell a device that another application holds from any other failure.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// MMSYSERR_ALLOCATED: the device is already open in another application.
std::uint32_t const kMidiErrorAllocated = 4;

class MidiOpenError : public std::runtime_error {
public:
    MidiOpenError(std::string const& text, std::uint32_t systemCode)
        : std::runtime_error(text), systemCode_(systemCode) {}
    std::uint32_t systemCode() const { return systemCode_; }

private:
    std::uint32_t systemCode_;
};

// The system's code carried by an exception from an open, or 0 when it carries none.
inline std::uint32_t openErrorCode(std::exception const& error) {
    auto const* open = dynamic_cast<MidiOpenError const*>(&error);
    return open != nullptr ? open->systemCode() : 0;
}
