#include "simulated_driver/dll/PipePortServer.h"

#include <chrono>
#include <vector>

#include "simulated_driver/PortNameCodec.h"
#include "simulated_driver/SimulatedApplication.h"
#include "simulated_driver/dll/PipeProtocol.h"
#include "simulated_driver/dll/PortDirectory.h"

namespace tessivane {

namespace {

DWORD const kOpenMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
DWORD const kPipeMode = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT;

HANDLE createInstance(std::wstring const& name, bool first) {
    return CreateNamedPipeW(name.c_str(), kOpenMode | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
                            kPipeMode, PIPE_UNLIMITED_INSTANCES, kPipeBufferSize, kPipeBufferSize,
                            0, nullptr);
}

// Waits for an overlapped call that returned pending. False when the server stops (the call is
// cancelled and finished before returning, so its buffer is free again) or the call failed.
bool finishIo(HANDLE pipe, OVERLAPPED& overlapped, HANDLE stop, DWORD& transferred, DWORD& error) {
    HANDLE const waits[] = {overlapped.hEvent, stop};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        CancelIoEx(pipe, &overlapped);
        GetOverlappedResult(pipe, &overlapped, &transferred, TRUE);
        error = ERROR_OPERATION_ABORTED;
        return false;
    }
    if (GetOverlappedResult(pipe, &overlapped, &transferred, FALSE)) return true;
    error = GetLastError();
    return false;
}

struct Overlapped {
    Overlapped() : event(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        io.hEvent = event.get();
    }
    OVERLAPPED io{};
    Win32Handle event;
};

// One read of a whole or partial pipe message; false when the client is gone or we stop.
bool readSome(HANDLE pipe, HANDLE stop, std::vector<std::uint8_t>& buffer, DWORD& got) {
    Overlapped ov;
    if (ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size()), &got, &ov.io)) return true;
    DWORD error = GetLastError();
    if (error == ERROR_MORE_DATA) {
        GetOverlappedResult(pipe, &ov.io, &got, TRUE);  // part of a longer message: still data
        return true;
    }
    if (error != ERROR_IO_PENDING) return false;
    if (finishIo(pipe, ov.io, stop, got, error)) return true;
    return error == ERROR_MORE_DATA;  // the rest of the message comes with the next read
}

bool writeMessage(HANDLE pipe, HANDLE stop, std::uint8_t const* bytes, std::size_t length) {
    Overlapped ov;
    DWORD written = 0;
    if (WriteFile(pipe, bytes, static_cast<DWORD>(length), &written, &ov.io)) return true;
    DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) return false;
    return finishIo(pipe, ov.io, stop, written, error);
}

bool clientStillThere(HANDLE pipe) {
    DWORD available = 0;
    return PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) ||
           GetLastError() == ERROR_MORE_DATA;
}

}  // namespace

std::unique_ptr<PipePortServer> PipePortServer::start(VirtualMidiPortHandle port,
                                                      std::u16string const& portName,
                                                      std::uint32_t flags, DWORD& error) {
    std::wstring const pipeName = portPipeName(portName);
    // The name's owner holds a named object of the same name for the port's life. Pipes alone
    // cannot tell: Wine lets a second process create a "first" instance of a live pipe.
    Win32Handle token(CreateMutexW(nullptr, FALSE, portTokenName(portName).c_str()));
    if (!token || GetLastError() == ERROR_ALREADY_EXISTS) {
        error = token ? DWORD(kVirtualMidiErrorAlreadyExists) : GetLastError();
        return nullptr;
    }
    Win32Handle first(createInstance(pipeName, true));
    if (!first) {
        error = GetLastError();
        if (error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY) error = kVirtualMidiErrorAlreadyExists;
        return nullptr;
    }
    std::unique_ptr<PipePortServer> server(new PipePortServer(port, portName, pipeName, flags));
    if (!server->stop_) {
        error = GetLastError();
        return nullptr;
    }
    server->nameToken_ = std::move(token);
    server->acceptThread_ = std::thread(&PipePortServer::acceptLoop, server.get(), std::move(first));
    publishPort(portName);
    return server;
}

PipePortServer::PipePortServer(VirtualMidiPortHandle port, std::u16string portName,
                               std::wstring pipeName, std::uint32_t flags)
    : port_(port),
      portName_(std::move(portName)),
      pipeName_(std::move(pipeName)),
      takesWrites_((flags & kVirtualMidiRxOnly) || !(flags & kVirtualMidiTxOnly)),
      sendsToReaders_((flags & kVirtualMidiTxOnly) || !(flags & kVirtualMidiRxOnly)),
      stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

PipePortServer::~PipePortServer() {
    withdrawPort(portName_);
    SetEvent(stop_.get());
    if (acceptThread_.joinable()) acceptThread_.join();
    // The accept thread is gone, so nobody adds sessions any more.
    for (Session& session : sessions_) session.thread.join();
}

void PipePortServer::acceptLoop(Win32Handle instance) {
    while (instance) {
        Overlapped ov;
        bool connected = ConnectNamedPipe(instance.get(), &ov.io);
        if (!connected) {
            DWORD error = GetLastError();
            DWORD ignored = 0;
            if (error == ERROR_PIPE_CONNECTED)
                connected = true;
            else if (error == ERROR_IO_PENDING)
                connected = finishIo(instance.get(), ov.io, stop_.get(), ignored, error);
            if (!connected && error == ERROR_OPERATION_ABORTED) return;
        }
        if (WaitForSingleObject(stop_.get(), 0) == WAIT_OBJECT_0) return;
        if (connected) {
            reapFinishedSessions();
            std::lock_guard<std::mutex> lock(sessionsMutex_);
            sessions_.emplace_back();
            Session& session = sessions_.back();
            session.thread = std::thread(&PipePortServer::serve, this, std::move(instance), std::ref(session));
        } else {
            DisconnectNamedPipe(instance.get());  // a client that left at once: reuse the instance
            Sleep(10);
            continue;
        }
        instance = Win32Handle(createInstance(pipeName_, false));
    }
}

void PipePortServer::serve(Win32Handle pipe, Session& session) {
    HANDLE const stop = stop_.get();
    if (auto app = SimulatedApplicationPort::open(port_)) {
        std::thread sender;
        if (sendsToReaders_ &&
            writeMessage(pipe.get(), stop, kPipeReaderGreeting, sizeof kPipeReaderGreeting)) {
            // What the port sends goes to this client until it leaves or we stop.
            sender = std::thread([&] {
                while (WaitForSingleObject(stop, 0) == WAIT_TIMEOUT) {
                    auto message = app->read(std::chrono::milliseconds(20));
                    if (message) {
                        if (!writeMessage(pipe.get(), stop, message->data(), message->size())) break;
                    } else if (!clientStillThere(pipe.get())) {
                        break;
                    }
                }
            });
        }
        // Whatever the client writes goes into the port (and is dropped if it takes no writes).
        std::vector<std::uint8_t> buffer(kPipeBufferSize);
        DWORD got = 0;
        while (readSome(pipe.get(), stop, buffer, got)) {
            if (takesWrites_ && got > 0 && !app->write(buffer.data(), got)) break;
        }
        if (sender.joinable()) {
            // A reader that never writes ends its read with the client leaving; wait for the
            // sender to notice the same.
            sender.join();
        }
        app->flush();
    }
    DisconnectNamedPipe(pipe.get());
    session.done = true;
}

void PipePortServer::reapFinishedSessions() {
    std::lock_guard<std::mutex> lock(sessionsMutex_);
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        if (it->done) {
            it->thread.join();
            it = sessions_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace tessivane
