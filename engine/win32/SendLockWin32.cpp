// The send lock as a slim reader/writer lock, used exclusively: waiters sleep in the kernel and
// nothing is allocated.
#include "engine/SendLock.h"

#include <windows.h>

static_assert(sizeof(SRWLOCK) == sizeof(void*), "SendLock keeps an SRWLOCK in one pointer");

void SendLock::lock() { AcquireSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&srwLock_)); }
void SendLock::unlock() { ReleaseSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&srwLock_)); }
