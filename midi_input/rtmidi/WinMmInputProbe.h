// Why WinMM refuses to open an input device: RtMidi's errors carry no system code.
#pragma once

#include <cstdint>

// WinMM's result (an MMRESULT) of opening the input device at index now, without a callback;
// 0 when it opens, and then it is closed again at once.
std::uint32_t probeInputOpen(unsigned index);
