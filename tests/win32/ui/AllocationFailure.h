// Running out of memory on one thread: while a thread is named here, every operator new on it
// throws std::bad_alloc. The UI tests use it on the user-interface thread, where the program's
// window and dialog procedures must catch it.
#pragma once

#include <windows.h>

// 0 ends the failure.
void failAllocationsOn(DWORD threadId);
