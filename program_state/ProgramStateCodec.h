// The state as bytes, for the section the program shares with the diagnostics tool: numbers of
// fixed size (little-endian) and texts with their byte count, in ProgramState's order. The
// section's layout version (StateSection.h) covers this format too.
#pragma once

#include "program_state/ProgramState.h"

#include <cstddef>
#include <optional>
#include <string>

// At most `capacity` bytes: an entry that does not fit is left out and counted, so that the
// program publishes all it can rather than nothing.
std::string encodeProgramState(ProgramState const& state, std::size_t capacity);

struct DecodedState {
    ProgramState state;
    std::uint32_t omitted = 0;  // entries the program left out for want of room
};

// Nothing when the bytes end early, go on after the state, or hold a value that makes no sense.
// The bytes come from another process: every length is checked against what is there.
std::optional<DecodedState> decodeProgramState(std::string const& bytes);
