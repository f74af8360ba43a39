// A client end of a simulated port's pipe: the Win32 side of the console client.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "simulated_driver/dll/Win32Handle.h"

namespace tessivane {

class PipeClient {
public:
    enum class Status { Ok, NoSuchPort, Failed, TimedOut };

    // Connects to the port's pipe, waiting a while if every instance is busy.
    Status connect(std::u16string const& portName, bool forReading);
    // Sends bytes and waits until the driver side has taken them.
    Status send(std::vector<std::uint8_t> const& bytes);
    // One message the port sent; the greeting is consumed by connect.
    Status receive(std::vector<std::uint8_t>& message, std::chrono::milliseconds timeout);

    DWORD lastError() const { return error_; }

private:
    Status fail();
    Win32Handle pipe_;
    Win32Handle event_;
    DWORD error_ = 0;
};

}  // namespace tessivane
