#include "engine/SendLock.h"

void SendLock::lock() { mutex_.lock(); }
void SendLock::unlock() { mutex_.unlock(); }
