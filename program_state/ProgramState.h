// What the running program holds, as it publishes it for the diagnostics tool: its port entries,
// whether their devices are open and why the last open failed, its shared inputs with their lost
// messages, and the loopback pair. Plain values, built by the engine on the service tick whenever
// one of them changed; the program adds its process id and version and writes them where the tool
// can read them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct EntryState {
    // The device's unique name, as the Configure (or Share inputs) dialog lists it.
    std::string name;
    // The names of its virtual ports, as made (UTF-8): " - MIDI" and " - SysEx" for an output,
    // " - In" for a shared input.
    std::vector<std::string> ports;
    // Its ports exist. False when they could not be made; lastError then says why.
    bool portsExist = false;
    // Its device is open now.
    bool deviceOpen = false;
    // The text of the last failed open (or creation) while the device is not open; empty otherwise.
    std::string lastError;
    // The system's code for that failure when it is known (4: another application holds the
    // device), else 0.
    std::uint32_t lastErrorCode = 0;
    // Shared inputs only: messages lost since the start (a message cut short or too long, or one
    // the driver refused).
    std::uint64_t lost = 0;
};

struct ProgramState {
    std::uint32_t processId = 0;
    std::string version;
    std::vector<EntryState> outputs;
    std::vector<EntryState> inputs;
    bool loopbackCreated = false;
};
