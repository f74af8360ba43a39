// What the program's state says of an entry's device: why its last open failed, kept until an open
// succeeds. The tick's thread only.
#pragma once

#include <algorithm>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "midi_common/MidiOpenError.h"
#include "program_state/ProgramState.h"

struct OpenOutcome {
    std::string error;       // empty when the last open succeeded, or none was tried
    std::uint32_t code = 0;  // the system's code for it, 0 when unknown

    // Runs `open`, and records its failure (which it lets through) or its success.
    template <class Open>
    void attempt(Open&& open) {
        try {
            open();
        } catch (std::exception const& failure) {
            error = failure.what();
            code = openErrorCode(failure);
            throw;
        }
        error.clear();
        code = 0;
    }
};

// Records that the entry of `name` could not be made, and why, among `failures`; false when that
// failure was recorded already (the same text), so that it is said once.
inline bool recordEntryFailure(std::vector<EntryState>& failures, std::string const& name,
                               std::vector<std::string> ports, std::string const& text) {
    auto const known = std::find_if(failures.begin(), failures.end(),
                                    [&](EntryState const& failure) { return failure.name == name; });
    if (known != failures.end() && known->lastError == text) {
        return false;
    }
    EntryState& failure = known != failures.end() ? *known : failures.emplace_back();
    failure.name = name;
    failure.ports = std::move(ports);
    failure.lastError = text;
    return true;
}

// Forgets the failure of `name` once its entry is made.
inline void forgetEntryFailure(std::vector<EntryState>& failures, std::string const& name) {
    failures.erase(std::remove_if(failures.begin(), failures.end(),
                                  [&](EntryState const& failure) { return failure.name == name; }),
                   failures.end());
}
