// Makes one simulated port reachable from other processes through its named pipe. Every client
// gets a session of its own, which acts as one application connected to the port.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "simulated_driver/dll/Win32Handle.h"
#include "virtual_midi/VirtualMidiApi.h"

namespace tessivane {

class PipePortServer {
public:
    // Null, with the Win32 error in `error`, when the pipe cannot be made; 183 when some process
    // already serves a port of this name.
    static std::unique_ptr<PipePortServer> start(VirtualMidiPortHandle port,
                                                 std::u16string const& portName,
                                                 std::uint32_t flags, DWORD& error);
    // Ends every session and the pipe with them.
    ~PipePortServer();

private:
    struct Session {
        std::thread thread;
        std::atomic<bool> done{false};
    };

    PipePortServer(VirtualMidiPortHandle port, std::u16string portName, std::wstring pipeName,
                   std::uint32_t flags);
    void acceptLoop(Win32Handle instance);
    void serve(Win32Handle pipe, Session& session);
    void reapFinishedSessions();

    VirtualMidiPortHandle const port_;
    std::u16string const portName_;
    std::wstring const pipeName_;
    bool const takesWrites_;
    bool const sendsToReaders_;
    Win32Handle nameToken_;  // ours while it lives: the name is taken for every process
    Win32Handle stop_;  // manual-reset event: set once, ends every wait

    std::mutex sessionsMutex_;
    std::list<Session> sessions_;
    std::thread acceptThread_;
};

}  // namespace tessivane
