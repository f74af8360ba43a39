#include "midi_output/rtmidi/RtMidiOutput.h"

#include "midi_common/MidiOpenError.h"
#include "midi_common/rtmidi/RtMidiPorts.h"
#include "midi_output/Silence.h"

#include <rtmidi/RtMidi.h>

#include <windows.h>
#include <mmsystem.h>

RtMidiOutput::RtMidiOutput(std::unique_ptr<RtMidiOut> output) : output_(std::move(output)) {}

RtMidiOutput::~RtMidiOutput() {
    // RtMidi's destructor closes without silencing; our close leaves no note hanging.
    try {
        closePort();
    } catch (std::exception const&) {
    }
}

unsigned RtMidiOutput::portCount() {
    return output_->getPortCount();
}

std::string RtMidiOutput::portName(unsigned index) {
    return rtMidiPortName(*output_, index, "output");
}

void RtMidiOutput::openPort(unsigned index, std::string const& portName) {
    try {
        output_->openPort(index, portName);
    } catch (std::exception const& error) {
        // RtMidi keeps the system's code to itself; asking again tells "another application has
        // the device" from every other failure.
        throw MidiOpenError(error.what(), probeWinMmOutput(index));
    }
    open_.store(output_->isPortOpen(), std::memory_order_release);
}

bool RtMidiOutput::isPortOpen() const {
    return open_.load(std::memory_order_acquire);
}

void RtMidiOutput::closePort() {
    if (!open_.load(std::memory_order_relaxed)) {
        return;
    }
    open_.store(false, std::memory_order_release);
    // RtMidi 5.0 no longer resets a WinMM device on close, so we silence it ourselves. A device
    // that fails here (unplugged, say) must still be closed.
    silenceAllChannels([this](std::uint8_t const* bytes, std::size_t length) {
        try {
            output_->sendMessage(bytes, length);
        } catch (std::exception const&) {
        }
    });
    output_->closePort();
}

void RtMidiOutput::sendMessage(std::uint8_t const* bytes, std::size_t length) {
    output_->sendMessage(bytes, length);
}

std::uint32_t probeWinMmOutput(unsigned index) {
    HMIDIOUT handle = nullptr;
    MMRESULT const result = midiOutOpen(&handle, index, 0, 0, CALLBACK_NULL);
    if (result == MMSYSERR_NOERROR) {
        midiOutClose(handle);
    }
    return result;
}

std::unique_ptr<MidiOutput> RtMidiOutputFactory::create(std::uint32_t backEnd, std::string const& clientName) {
    auto output = std::make_unique<RtMidiOut>(rtMidiApi(backEnd), clientName);
    return std::make_unique<RtMidiOutput>(std::move(output));
}
