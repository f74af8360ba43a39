// Giving the processor away while a wait may be long.
#pragma once

// Lets another ready thread run now; returns at once when there is none.
void yieldProcessor();

// Sleeps for about a millisecond (the system's timer period while the service timer runs).
void sleepBriefly();
