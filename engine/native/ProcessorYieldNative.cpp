#include "engine/ProcessorYield.h"

#include <chrono>
#include <thread>

void yieldProcessor() { std::this_thread::yield(); }

void sleepBriefly() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }
