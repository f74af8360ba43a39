#include "engine/ProcessorYield.h"

#include <windows.h>

// SwitchToThread rather than Sleep(0): the multimedia timer thread runs at a high priority, and
// Sleep(0) gives way only to threads of equal or higher priority, not to the driver thread whose
// send it waits for.
void yieldProcessor() { SwitchToThread(); }

void sleepBriefly() { Sleep(1); }
