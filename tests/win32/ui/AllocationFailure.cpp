#include "tests/win32/ui/AllocationFailure.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<DWORD> failingThread{0};

}  // namespace

void failAllocationsOn(DWORD threadId) { failingThread.store(threadId); }

// Replaces the library's: every allocation of this test program comes here.
void* operator new(std::size_t size) {
    if (failingThread.load() != 0 && failingThread.load() == GetCurrentThreadId()) {
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
