// What the engine holds, as the state hook is given it, and the records that feed it: the outcome
// of each open and the entries that could not be made.
#include <algorithm>

#include "engine/EngineTexts.h"
#include "engine/PortController.h"
#include "engine/PortName.h"
#include "midi_common/MidiOpenError.h"

void PortController::openOutput(PortEntry& entry, unsigned index) {
    markStateChanged();
    entry.lastOpen.attempt([&] { entry.output->openPort(index, kOpenPortName); });
}

void PortController::recordCreationFailure(char const* name, std::string const& text) {
    markStateChanged();
    recordEntryFailure(creationFailures_, name,
                       {portNameUtf8(name, kMidiPortSuffix), portNameUtf8(name, kSysExPortSuffix)}, text);
}

ProgramState PortController::programState() const {
    ProgramState state;
    for (auto const& entry : entries_) {
        if (!entry || !entry->name) {
            continue;
        }
        if (entry->loopback) {
            state.loopbackCreated = true;
            continue;
        }
        EntryState output;
        output.name = entry->name.get();
        output.ports = {portNameUtf8(output.name, kMidiPortSuffix),
                        portNameUtf8(output.name, kSysExPortSuffix)};
        output.portsExist = entry->firstPort && entry->secondPort;
        output.deviceOpen = entry->outputOpen();
        if (!output.deviceOpen) {
            output.lastError = entry->lastOpen.error;
            output.lastErrorCode = entry->lastOpen.code;
        }
        state.outputs.push_back(std::move(output));
    }
    for (EntryState const& failure : creationFailures_) {
        if (findEntry(failure.name.c_str()) == nullptr) {
            state.outputs.push_back(failure);
        }
    }
    for (auto const& entry : inputEntries_) {
        EntryState input;
        input.name = entry->name;
        input.ports = {portNameUtf8(entry->name, kInputPortSuffix)};
        input.portsExist = static_cast<bool>(entry->port);
        input.deviceOpen = entry->inputOpen();
        if (!input.deviceOpen) {
            input.lastError = entry->lastOpen.error;
            input.lastErrorCode = entry->lastOpen.code;
        }
        input.lost = entry->lost.load(std::memory_order_relaxed);
        state.inputs.push_back(std::move(input));
    }
    state.inputs.insert(state.inputs.end(), inputCreationFailures_.begin(),
                        inputCreationFailures_.end());
    return state;
}

void PortController::publishStateIfChanged() {
    if (!stateChanged_) {
        return;
    }
    stateChanged_ = false;
    if (hooks_.stateChanged != nullptr) {
        hooks_.stateChanged(programState());
    }
}
