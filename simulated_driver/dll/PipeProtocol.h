// How a port looks from another process: a message-mode named pipe per port. Writers send raw
// bytes; a reader first receives the greeting (sent once the driver has registered it, so that
// nothing the port sends afterwards can be missed) and then one pipe message per MIDI message.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessivane {

std::uint8_t const kPipeReaderGreeting[] = {'T', 'S', 'I', 'M'};
std::size_t const kPipeBufferSize = 65536 + 16;  // one SysEx of the usual maximum fits whole

}  // namespace tessivane
