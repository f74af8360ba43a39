#include "midi_input/rtmidi/RtMidiInput.h"

#include "midi_common/MidiOpenError.h"
#include "midi_common/rtmidi/RtMidiPorts.h"
#include "midi_input/rtmidi/WinMmInputProbe.h"

#include <rtmidi/RtMidi.h>

#include <stdexcept>

namespace {

// WinMM fills one SysEx buffer at a time and hands it over when it is full or the SysEx has
// ended; RtMidi passes each one to the callback as it comes and queues it again itself. Data that
// arrives while no buffer is queued is lost, so what must fit is everything a device can send
// before the callback thread has handed the first buffers back: 32 buffers of 4 KiB hold 128 KiB,
// twice the longest SysEx we forward, which a USB device sends in well under 100 ms; and a burst of
// short SysEx messages, one buffer each, has 32 before it waits on us.
unsigned const kSysexBufferSize = 4096;
unsigned const kSysexBufferCount = 32;

}  // namespace

RtMidiInput::RtMidiInput(std::unique_ptr<RtMidiIn> input)
    : gate_(std::make_unique<ReceiverGate>()), input_(std::move(input)) {
    // RtMidi drops SysEx, timing (clock, MTC) and active sensing unless told otherwise.
    input_->ignoreTypes(false, false, false);
    input_->setBufferSize(kSysexBufferSize, kSysexBufferCount);
    input_->setCallback(&RtMidiInput::onMessage, gate_.get());
}

RtMidiInput::~RtMidiInput() {
    try {
        closePort();
    } catch (std::exception const&) {
    }
    if (abandoned_) {
        // See the header: WinMM may still call into both.
        static_cast<void>(input_.release());
        static_cast<void>(gate_.release());
    }
}

unsigned RtMidiInput::portCount() {
    return input_->getPortCount();
}

std::string RtMidiInput::portName(unsigned index) {
    return rtMidiPortName(*input_, index, "input");
}

void RtMidiInput::openPort(unsigned index, MidiInputReceiver& receiver) {
    if (abandoned_) {
        throw std::runtime_error(
            "MIDI input could not be closed after its last use; it cannot be opened again");
    }
    if (open_.load(std::memory_order_relaxed)) {
        return;  // RtMidi only warns about a second open
    }
    // Open before RtMidi starts the device: its first message may come before openPort returns.
    gate_->open(receiver);
    try {
        input_->openPort(index);
    } catch (RtMidiError const& error) {
        gate_->close();
        // RtMidi's text does not say why WinMM refused; a second open, closed at once, does.
        std::uint32_t const code = probeInputOpen(index);
        if (code != 0) {
            throw MidiOpenError(error.what(), code);
        }
        throw;
    } catch (...) {
        gate_->close();
        throw;
    }
    bool const open = input_->isPortOpen();
    if (!open) {
        gate_->close();
    }
    open_.store(open, std::memory_order_release);
}

bool RtMidiInput::isPortOpen() const {
    return open_.load(std::memory_order_acquire);
}

void RtMidiInput::closePort() {
    if (!open_.load(std::memory_order_relaxed)) {
        return;
    }
    open_.store(false, std::memory_order_release);
    // First the gate: whatever RtMidi's callback does during and after its close, the receiver is
    // no longer called once this returns.
    gate_->close();
    try {
        input_->closePort();
    } catch (RtMidiError const&) {
        abandoned_ = true;
        throw;
    }
}

void RtMidiInput::onMessage(double /*timeStamp*/, std::vector<unsigned char>* message, void* gate) {
    // On WinMM's callback thread: no exception may unwind into it.
    try {
        static_cast<ReceiverGate*>(gate)->deliver(message->data(), message->size());
    } catch (...) {
    }
}

std::unique_ptr<MidiInput> RtMidiInputFactory::create(std::uint32_t backEnd, std::string const& clientName) {
    auto input = std::make_unique<RtMidiIn>(rtMidiApi(backEnd), clientName);
    return std::make_unique<RtMidiInput>(std::move(input));
}
