#include "engine/PortEntry.h"

#include <cstring>

#include "engine/ForwardingDrain.h"
#include "engine/PortController.h"

bool PortEntry::hasName(char const* other) const {
    return name != nullptr && other != nullptr && std::strcmp(name.get(), other) == 0;
}

void TE_VM_CALL onPortData(VirtualMidiPortHandle, std::uint8_t* bytes, std::uint32_t length,
                           std::uintptr_t instance) {
    if (bytes == nullptr || length == 0 || instance == 0) {
        return;
    }
    PortController::forward(reinterpret_cast<PortEntry*>(instance), bytes, length);
}

void PortController::forward(PortEntry* entry, std::uint8_t const* bytes, std::uint32_t length) {
    if (entry == nullptr) {
        return;
    }
    // Raised before the closing flag is tested: pairs with the close sequence, which sets the flag
    // before it waits for this counter. Either the close sees us here, or we see its flag.
    entry->inFlight.fetch_add(1, std::memory_order_seq_cst);
    if (!entry->closing.isSet()) {
        if (entry->loopback) {
            entry->driver->sendData(entry->firstPort.get(), const_cast<std::uint8_t*>(bytes), length);
        } else if (entry->outputOpen()) {
            SendLockGuard const serialised(entry->sendLock);
            try {
                entry->output->sendMessage(bytes, length);
            } catch (...) {
                // Data path: a failed send loses this message and nothing else.
            }
        }
    }
    // Lowered on every path: the close sequence waits for it to reach 0.
    entry->inFlight.fetch_sub(1, std::memory_order_seq_cst);
}

void runOutputCloseSequence(PortEntry& entry) {
    // Set before the wait: pairs with forward(), which raises the counter before testing the flag.
    entry.closing.set();
    waitUntilNoForwardingCall(entry.inFlight);
    entry.output->closePort();
    entry.closing.clear();
}

void retirePorts(PortEntry& entry) {
    // Deliveries may arrive until the ports are closed. The flag is set and stays set, so from here
    // on forward() drops everything and touches only the entry's counter and flag; calls already
    // past the test are waited out. Then the ports go, after which the driver calls nothing.
    entry.closing.set();
    waitUntilNoForwardingCall(entry.inFlight);
    entry.firstPort.reset();
    entry.secondPort.reset();
}

void releaseEntry(std::unique_ptr<PortEntry> entry) {
    // Ports first: only then can no late delivery reach the connection or the entry.
    retirePorts(*entry);
    if (entry->output) {
        if (entry->output->isPortOpen()) {
            entry->output->closePort();
        }
        entry->output.reset();
    }
    entry->name.reset();
}
