// Counts every heap allocation of the process, to show that a hot path makes none.
#pragma once

#include <atomic>
#include <cstddef>

// Per thread, so that a benchmark counts only what its own loop allocates.
extern thread_local long g_allocations;
