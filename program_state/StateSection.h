// The shared memory in which the program publishes its state, and how the two sides use it
// without a lock: the program (the only writer) makes the sequence number odd, writes, and makes
// it even again; the tool copies the bytes and keeps the copy only when the number was even and
// the same before and after, else tries again. So the tool can never hold up the program, and
// never takes a state half written.
//
// Layout: "TSVSTATE" (8 bytes), sequence number (4), layout version (4), payload length (4), the
// payload (ProgramStateCodec). Numbers little-endian.
#pragma once

#include "program_state/ProgramStateCodec.h"

#include <cstddef>
#include <cstdint>
#include <string>

std::size_t const kStateSectionBytes = 64 * 1024;
std::size_t const kStateHeaderBytes = 20;
std::size_t const kStatePayloadBytes = kStateSectionBytes - kStateHeaderBytes;
std::uint32_t const kStateLayoutVersion = 1;

// Writes the payload (at most kStatePayloadBytes) into a section of kStateSectionBytes.
void writeStateSection(unsigned char* section, std::string const& payload);

enum class StateStatus {
    Absent,        // no program publishes one
    Read,          // state holds it
    OtherVersion,  // a layout this tool does not know (layoutVersion)
    Truncated,     // it ends early or does not decode
    Busy,          // it was being written on every try
    Unreadable,    // the section exists but cannot be opened (systemError)
};

struct PublishedState {
    StateStatus status = StateStatus::Absent;
    DecodedState decoded;
    std::uint32_t layoutVersion = 0;
    std::uint32_t systemError = 0;
};

// Reads a section of `size` bytes as mapped (a section of another layout may be smaller), trying
// up to `attempts` times while it is being written.
PublishedState readStateSection(unsigned char const* section, std::size_t size, unsigned attempts = 1000);
