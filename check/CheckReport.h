// What tessivane-check found on this machine: plain facts, gathered by the Win32 side
// (win32/MachineFacts), turned into findings (Findings) and written as text or JSON
// (ReportWriters). All texts are UTF-8.
#pragma once

#include "check/LoopProbe.h"

#include <optional>
#include <string>
#include <vector>

struct SystemFacts {
    unsigned major = 0, minor = 0, build = 0;  // as the system reports them, not a shim
    unsigned ansiCodePage = 0;                 // this process's, with the program's manifest
    bool meetsFloor() const { return major > 10 || (major == 10 && build >= 18362); }
};

struct MidiServiceFacts {
    bool installed = false;
    std::string state;  // "running", "stopped", ...; empty when not installed
};

enum class DriverState { Usable, Missing, LoadFailed, FunctionMissing };

struct DriverFacts {
    DriverState state = DriverState::Missing;
    std::string path;                // the copy the program would load; empty when none
    bool inSystemFolder = false;
    std::string fileVersion;         // from its version resource; empty when it has none
    std::vector<std::pair<std::string, bool>> functions;  // the four the program needs
    std::string dllVersion, driverVersion;  // what the DLL itself says; empty when it cannot
    std::string error;               // the program's own text when it could not use the DLL
};

struct RunningCopy {
    unsigned long processId = 0;
    std::string path;
    bool installed = false;  // the installed copy
};

struct TessivaneFacts {
    std::vector<RunningCopy> running;
    std::string installedFolder, installedVersion;  // empty when not installed
    std::optional<std::string> runValue;            // "Launch on startup"
    bool runValueFileExists = false;  // it names a tessivane.exe that exists
    bool runValueIsInstalled = false;
};

enum class StoredState { Absent, Document, OtherJson, NotJson, TooLong };

struct StoredChoice {
    std::string name;
    bool connected = false;     // an output of that name is listed now
    bool portsListed = false;   // both its ports are listed
    bool heldElsewhere = false; // Tessivane is not running and the output cannot be opened
};

struct StoredChoicesFacts {
    StoredState state = StoredState::Absent;
    std::string value;  // as stored (invalid UTF-8 replaced)
    std::vector<StoredChoice> choices;
};

enum class PortRole { Device, TessivanePort, Loopback };

// One MIDI port as Windows lists it, in Windows' order.
struct ListedPort {
    std::string name;
    PortRole role = PortRole::Device;
    std::string uniqueName;  // outputs that are devices: the name Tessivane gives it
};

struct Finding {
    std::string problem, fix;
};

struct CheckReport {
    SystemFacts system;
    MidiServiceFacts midiService;
    DriverFacts driver;
    TessivaneFacts tessivane;
    StoredChoicesFacts stored;
    std::vector<ListedPort> outputs, inputs;
    std::optional<LoopResult> loopback;  // only when the loopback pair is listed
    std::vector<Finding> findings;
};
