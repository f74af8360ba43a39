#include "engine/InputEntry.h"

#include "engine/EngineTexts.h"
#include "engine/ForwardingDrain.h"

#include <exception>

InputEntry::InputEntry(std::string name, VirtualMidiDriver const* driver)
    : name(std::move(name)),
      driver_(driver),
      assembler_(kMaxInputSysexLength,
                 [this](std::uint8_t* bytes, std::size_t length) { send(bytes, length); }) {}

void InputEntry::receive(std::uint8_t const* bytes, std::size_t length) {
    // Raised before the closing flag is tested: pairs with the close sequence, which sets the flag
    // before it waits for this counter. Either the close sees us here, or we see its flag.
    inFlight.fetch_add(1, std::memory_order_seq_cst);
    if (!closing.isSet() && bytes != nullptr && length > 0) {
        assembler_.feed(bytes, length);
        std::uint64_t const discarded = assembler_.discarded();
        if (discarded != discardedCounted_) {
            // Relaxed: a count for the tick to show, ordered with nothing else.
            lost.fetch_add(discarded - discardedCounted_, std::memory_order_relaxed);
            discardedCounted_ = discarded;
        }
    }
    // Lowered on every path: the close sequence waits for it to reach 0.
    inFlight.fetch_sub(1, std::memory_order_seq_cst);
}

void InputEntry::send(std::uint8_t* bytes, std::size_t length) {
    if (driver_->sendData(port.get(), bytes, static_cast<std::uint32_t>(length)) == 0) {
        lost.fetch_add(1, std::memory_order_relaxed);
    }
}

bool runInputCloseSequence(InputEntry& entry) {
    // Set before the wait: pairs with receive(), which raises the counter before testing the flag.
    entry.closing.set();
    waitUntilNoForwardingCall(entry.inFlight);
    bool closed = true;
    try {
        entry.input->closePort();
    } catch (std::exception const&) {
        closed = false;  // the device stays held by the input it could not leave
    }
    entry.forgetPartialMessage();
    entry.closing.clear();
    return closed;
}

void releaseInputEntry(std::unique_ptr<InputEntry> entry) {
    // The flag stays set: from here on a late delivery touches only the counter and the flag.
    entry->closing.set();
    waitUntilNoForwardingCall(entry->inFlight);
    if (entry->input) {
        try {
            entry->input->closePort();
        } catch (std::exception const&) {
            // Nothing more can be done at the exit; the input lets go of what it can.
        }
        entry->input.reset();
    }
    // Only now the port: an application reading it never sees it go while the device still plays.
    entry->port.reset();
}
