// What the engine holds, as the state hook is given it, and the records that feed it: the outcome
// of each open and the entries that could not be made.
#include <algorithm>

#include "engine/EngineTexts.h"
#include "engine/PortController.h"
#include "engine/PortName.h"
#include "midi_common/MidiOpenError.h"

void PortController::openOutput(PortEntry& entry, unsigned index) {
    markStateChanged();
    try {
        entry.output->openPort(index, kOpenPortName);
    } catch (std::exception const& error) {
        entry.lastOpenError = error.what();
        entry.lastOpenErrorCode = openErrorCode(error);
        throw;
    }
    entry.lastOpenError.clear();
    entry.lastOpenErrorCode = 0;
}

void PortController::recordCreationFailure(char const* name, std::string const& text) {
    markStateChanged();
    auto const known = std::find_if(creationFailures_.begin(), creationFailures_.end(),
                                    [&](EntryState const& failure) { return failure.name == name; });
    EntryState& failure = known != creationFailures_.end() ? *known : creationFailures_.emplace_back();
    failure.name = name;
    failure.ports = {portNameUtf8(name, kMidiPortSuffix), portNameUtf8(name, kSysExPortSuffix)};
    failure.lastError = text;
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
            output.lastError = entry->lastOpenError;
            output.lastErrorCode = entry->lastOpenErrorCode;
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
            input.lastError = entry->lastOpenError;
            input.lastErrorCode = entry->lastOpenErrorCode;
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
