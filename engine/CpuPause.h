// Processor hint for busy-wait loops.
#pragma once

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
inline void cpuPause() { _mm_pause(); }
#else
inline void cpuPause() {}
#endif
