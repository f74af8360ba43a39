#include "simulated_driver/client/PipeClient.h"

#include <algorithm>
#include <cstring>

#include "simulated_driver/PortNameCodec.h"
#include "simulated_driver/dll/PipeProtocol.h"
#include "simulated_driver/dll/PortDirectory.h"

namespace tessivane {

namespace {

DWORD const kBusyWaitMs = 5000;

}  // namespace

PipeClient::Status PipeClient::fail() {
    error_ = GetLastError();
    if (error_ == ERROR_FILE_NOT_FOUND || error_ == ERROR_PATH_NOT_FOUND) return Status::NoSuchPort;
    return Status::Failed;
}

PipeClient::Status PipeClient::connect(std::u16string const& portName, bool forReading) {
    std::wstring const name = portPipeName(portName);
    DWORD const access = forReading ? (GENERIC_READ | FILE_WRITE_ATTRIBUTES) : GENERIC_WRITE;
    for (int attempt = 0; attempt < 2; ++attempt) {
        pipe_ = Win32Handle(CreateFileW(name.c_str(), access, 0, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OVERLAPPED, nullptr));
        if (pipe_) break;
        if (GetLastError() != ERROR_PIPE_BUSY || !WaitNamedPipeW(name.c_str(), kBusyWaitMs)) return fail();
    }
    if (!pipe_) return fail();
    event_ = Win32Handle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event_) return fail();
    if (!forReading) return Status::Ok;

    DWORD mode = PIPE_READMODE_MESSAGE;
    if (!SetNamedPipeHandleState(pipe_.get(), &mode, nullptr, nullptr)) return fail();
    // The driver greets a reader once it will get everything the port sends.
    std::vector<std::uint8_t> greeting;
    Status const status = receive(greeting, std::chrono::milliseconds(kBusyWaitMs));
    if (status != Status::Ok) return status;
    if (greeting.size() != sizeof kPipeReaderGreeting ||
        std::memcmp(greeting.data(), kPipeReaderGreeting, greeting.size()) != 0) {
        error_ = ERROR_INVALID_DATA;
        return Status::Failed;
    }
    return Status::Ok;
}

PipeClient::Status PipeClient::send(std::vector<std::uint8_t> const& bytes) {
    OVERLAPPED ov{};
    ov.hEvent = event_.get();
    DWORD written = 0;
    if (!WriteFile(pipe_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, &ov)) {
        if (GetLastError() != ERROR_IO_PENDING) return fail();
        if (!GetOverlappedResult(pipe_.get(), &ov, &written, TRUE)) return fail();
    }
    if (written != bytes.size()) return fail();
    FlushFileBuffers(pipe_.get());  // returns once the driver has read it all
    return Status::Ok;
}

PipeClient::Status PipeClient::receive(std::vector<std::uint8_t>& message,
                                       std::chrono::milliseconds timeout) {
    message.clear();
    std::vector<std::uint8_t> buffer(kPipeBufferSize);
    for (;;) {
        OVERLAPPED ov{};
        ov.hEvent = event_.get();
        ResetEvent(event_.get());
        DWORD got = 0;
        bool done = ReadFile(pipe_.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, &ov);
        DWORD error = done ? 0 : GetLastError();
        if (!done && error == ERROR_IO_PENDING) {
            DWORD const waitMs = static_cast<DWORD>(std::max<long long>(0, timeout.count()));
            if (WaitForSingleObject(event_.get(), waitMs) != WAIT_OBJECT_0) {
                CancelIoEx(pipe_.get(), &ov);
                GetOverlappedResult(pipe_.get(), &ov, &got, TRUE);
                return Status::TimedOut;
            }
            done = GetOverlappedResult(pipe_.get(), &ov, &got, FALSE);
            error = done ? 0 : GetLastError();
        }
        if (!done && error != ERROR_MORE_DATA) {
            error_ = error;
            return Status::Failed;
        }
        message.insert(message.end(), buffer.begin(), buffer.begin() + got);
        if (done) return Status::Ok;  // else: the rest of a longer message follows
    }
}

}  // namespace tessivane
