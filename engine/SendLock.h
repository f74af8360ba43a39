// Keeps two sends on one output connection from overlapping: both virtual ports of an entry may
// deliver at the same moment on different driver threads, and RtMidi's WinMM send keeps its SysEx
// buffer in the connection. Held only around the send.
//
// A waiter sleeps in the system rather than spinning: the holder may be inside a SysEx send that
// takes seconds at MIDI speed. It never allocates, so the short-message path stays allocation-free
// (a std::mutex under mingw's winpthreads allocates on first use, hence an SRWLOCK on Windows; the
// native build uses std::mutex, which glibc does not allocate for and ThreadSanitizer understands).
#pragma once

#if !defined(_WIN32)
#include <mutex>
#endif

class SendLock {
public:
    SendLock() = default;
    SendLock(SendLock const&) = delete;
    SendLock& operator=(SendLock const&) = delete;

    void lock();
    void unlock();

private:
#if defined(_WIN32)
    // An SRWLOCK: one pointer, all zero when unlocked (SRWLOCK_INIT); engine/win32 works on it.
    void* srwLock_ = nullptr;
#else
    std::mutex mutex_;
#endif
};

// Holds a SendLock for one scope.
class SendLockGuard {
public:
    explicit SendLockGuard(SendLock& lock) : lock_(lock) { lock_.lock(); }
    ~SendLockGuard() { lock_.unlock(); }
    SendLockGuard(SendLockGuard const&) = delete;
    SendLockGuard& operator=(SendLockGuard const&) = delete;

private:
    SendLock& lock_;
};
