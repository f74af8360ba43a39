// What tessivane-check found: plain facts, gathered in one layer (win32/, or a test), judged by
// Findings and written by ReportWriters. Texts are as read (maybe not valid UTF-8).
#pragma once

#include "midi_common/MidiPortList.h"
#include "midi_services/MidiServicesMode.h"
#include "program_state/StateSection.h"

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

struct SystemFacts {
    unsigned major = 0, minor = 0, build = 0;  // as the system reports them, not a shim
    std::optional<unsigned> updateBuild;       // UBR
    std::string displayVersion;                // "23H2", say
    unsigned ansiCodePage = 0;                 // this process's, with the program's manifest
    std::vector<std::pair<std::string, std::string>> compatibility;  // a tessivane.exe, its settings
    std::string user, sessionUser;  // the tool's account, and the one signed in to this session
};

struct MidiServicesFacts {
    MidiServicesMode mode = MidiServicesMode::NotCarryingWinMM;
    std::string service = "not installed";  // "not readable", "running", "stopped", ...
};

enum class DriverState { Usable, Missing, LoadFailed, FunctionMissing };

struct DriverVersion { std::string text; std::array<unsigned, 4> numbers{}; };

struct DriverFacts {
    DriverState state = DriverState::Missing;
    std::string path, error;  // the copy the program would load; its own text when it cannot use it
    std::optional<DriverVersion> dll, kernel;  // what the DLL says of itself and of its driver
};

struct RunningCopy {
    unsigned long processId = 0;
    std::string path;  // empty when it cannot be read
    std::optional<unsigned long> session;  // none when it cannot be read (another user's)
    // In another session; a launcher that waits for a copy it started (a package manager's shim).
    bool otherSession = false, launcher = false;
};

struct TessivaneFacts {
    std::vector<RunningCopy> running;
    std::optional<std::string> runValue;  // "Launch on startup"
    bool runValueFileExists = false, runValueSwitchedOff = false;
};

enum class StoredState { Absent, Document, OtherJson, NotJson, TooLong };

// A stored list of names: the chosen outputs, or the shared inputs.
struct StoredList {
    StoredState state = StoredState::Absent;
    std::string value;
    std::vector<std::string> names;
};

enum class PortRole { Device, TessivanePort, Loopback };

// One MIDI port as Windows lists it; a device's unique name is the one Tessivane gives it.
struct ListedPort {
    std::string name;
    PortRole role = PortRole::Device;
    std::string uniqueName;
    unsigned index = 0;  // the device's, in the system's list
};

struct PortListing {
    std::vector<ListedPort> ports;  // in Windows' order
    std::string error;              // why the listing failed; it may then be incomplete
};

struct CheckReport {
    SystemFacts system;
    MidiServicesFacts midiServices;
    DriverFacts driver;
    TessivaneFacts tessivane;
    PublishedState state;
    StoredList outputChoices, inputChoices;
    PortListing outputs, inputs;
    // Whether chosen outputs open (0, else the system's code; none: no answer), while none runs.
    std::vector<std::pair<std::string, std::optional<std::uint32_t>>> probes;
};

// Every port of a list, read with the engine's scan; the listing fails when `open` throws.
PortListing listPorts(std::function<std::unique_ptr<MidiPortList>()> const& open);

// work() on a thread of its own: its result, or none after `limit` (the thread is left to itself).
std::optional<std::uint32_t> withinTime(std::function<std::uint32_t()> work, std::chrono::milliseconds limit);
