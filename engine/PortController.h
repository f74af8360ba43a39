// The engine's one object: the enumeration connection, the port entries, the published output
// list, the request queue and the hooks into the user interface and the settings; and beside them,
// the same for shared inputs (input entries, published input list, input request queue).
//
// Thread contract:
// - User-interface thread: instance(), initialize() (which runs the first service tick),
//   tryEnqueue(), tryEnqueueInput(), publishedOutputs(), publishedInputs(), stopServiceTimer(),
//   and teardown at process exit.
// - Multimedia timer thread: every later serviceTick(), one after another, never overlapping.
// - Driver threads: forward() through onPortData(), for the entry the driver hands back.
// - Input threads (WinMM's callback thread): InputEntry::receive(), for the entry whose device
//   played.
// The tick and forwarding meet only at each entry's in-flight counter and closing flag; forwarding
// calls into one entry meet at its send lock, held around the send alone; the user interface and
// the tick meet at the single-producer single-consumer request queues and at the published lists,
// which the tick rebuilds under a lock that readers take to copy them. A tick that reports an
// error does so at its end, on its own thread, and the error hook may block it (the error box).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/InputEntry.h"
#include "engine/MultimediaTimerApi.h"
#include "engine/OutputInfo.h"
#include "engine/PortEntry.h"
#include "engine/PortRequest.h"
#include "engine/PublishedOutput.h"
#include "midi_input/MidiInput.h"
#include "midi_output/MidiOutput.h"
#include "program_state/ProgramState.h"
#include "virtual_midi/VirtualMidiApi.h"

class PortController {
public:
    using PortsChangedHook = void (*)();
    using ErrorHook = void (*)(char const* text);
    using DefaultPortsHook = void (*)(std::vector<std::string>* names);
    using StateHook = void (*)(ProgramState const& state);

    struct Hooks {
        PortsChangedHook portsChanged = nullptr;
        ErrorHook error = nullptr;
        // Asked for the stored choices by a tick that needs them: one whose scan found the output
        // list changed. A quiet tick does not ask.
        DefaultPortsHook defaultPorts = nullptr;
        // Given what the engine holds whenever that changed (an entry made or not made, a device
        // opened, closed or refused, the lists republished), at the end of that tick and before
        // its errors are reported: so the state already tells a failed open while its error box
        // is up. Runs on the tick's thread; a quiet tick never calls it.
        StateHook stateChanged = nullptr;
        // The shared inputs' counterparts: called after the published input list was rebuilt, and
        // asked for the stored shared inputs by a tick whose input scan found the list changed.
        PortsChangedHook inputsChanged = nullptr;
        DefaultPortsHook sharedInputs = nullptr;
    };

    // What the engine runs on: the program's are the system's (defaultDependencies()); tests give
    // the fake device bus, the simulated driver and a stand-in timer.
    struct Dependencies {
        MidiOutputFactory* outputs = nullptr;
        // Absent: no input can be shared (the Share inputs dialog lists none).
        MidiInputFactory* inputs = nullptr;
        VirtualMidiDriver driver;
        std::string driverError;  // why the driver could not be loaded; empty when it could
        MultimediaTimerApi const* timer = nullptr;
    };

    // The process-wide instance, built on first use from configureInstance()'s dependencies or
    // the program's own; destroyed at process exit.
    static PortController& instance();
    // Chooses what instance() will be built with; only before the first instance() call.
    static void configureInstance(Dependencies dependencies);

    explicit PortController(Dependencies dependencies);
    PortController(PortController const&) = delete;
    PortController& operator=(PortController const&) = delete;
    virtual ~PortController();

    // Installs the hooks, creates the enumeration connection, queues the loopback request, runs
    // one service tick on this thread and starts the service timer. False: the start failed, the
    // cause has been reported and the program should end.
    bool initialize(Hooks const& hooks);
    void installHooks(Hooks const& hooks) { hooks_ = hooks; }

    // One run of the engine's worker; true when it rebuilt the published output list. Never throws.
    bool serviceTick();

    bool startServiceTimer();
    void stopServiceTimer();

    // Sends data received on one of an entry's ports on to its output (or out of the loopback's
    // " In" port). Static: it uses nothing of the controller, so a late delivery never needs one.
    static void forward(PortEntry* entry, std::uint8_t const* bytes, std::uint32_t length);

    // User-interface side.
    bool tryEnqueue(PortRequest request) { return requests_.try_enqueue(std::move(request)); }
    std::vector<PublishedOutputInfo> publishedOutputs() const;
    // Shared inputs: a request's id is a published input's device index, its name the input's
    // unique name; enable shares the input, disable closes it (its port stays).
    bool tryEnqueueInput(PortRequest request) { return inputRequests_.try_enqueue(std::move(request)); }
    std::vector<PublishedInputInfo> publishedInputs() const;

    // Hands a message to the error hook, if one is installed.
    void report(char const* text) const;

    // What the engine holds now, as the state hook is given it. Tick thread (or no tick running).
    ProgramState programState() const;

    // Read access for the user interface's tests and for diagnostics.
    std::size_t entryCount() const { return entries_.size(); }
    PortEntry* findEntry(char const* name) const;
    PortEntry* entryAt(std::size_t i) const { return entries_[i].get(); }
    bool hasEnumerationConnection() const { return enumeration_ != nullptr; }
    std::size_t inputEntryCount() const { return inputEntries_.size(); }
    InputEntry* findInputEntry(std::string const& name) const;

private:
    friend class ServiceTickAccess;

    bool runTick();
    void createInputEnumeration();
    // The default-port names of this tick, read through the hook on first use within the tick.
    std::vector<std::string> const& storedChoices();
    // Errors met during a tick are reported at its end, after publishing and notifying.
    void deferReport(char const* text);
    void reportPendingErrors();
    // The state hook is called at the end of a tick that changed what it describes.
    void markStateChanged() { stateChanged_ = true; }
    void publishStateIfChanged();
    // Opens an entry's output and records the outcome for the state; rethrows a failure.
    void openOutput(PortEntry& entry, unsigned index);
    void recordCreationFailure(char const* name, std::string const& text);

    // Scan and naming.
    void scanOutputs(std::vector<OutputInfo>& rows);
    bool skipsOutput(std::string const& name) const;
    bool matchesLoopbackName(std::string const& name) const;
    bool changeTest(std::vector<OutputInfo> const& rows);
    void reconcile(std::vector<OutputInfo> const& rows, std::vector<std::string> const& chosen);
    void reopenByFallbackScan(PortEntry& entry, std::string const& chosenName);
    void publish(std::vector<OutputInfo> const& rows);
    void clearPublished();

    // Requests.
    bool drainRequests();
    void carryOutLoopbackRequest(PortRequest const& request);
    bool carryOutEnableRequest(PortRequest const& request);
    bool carryOutDisableRequest(PortRequest const& request);

    // Shared inputs: the same order as the outputs' part of the tick (scan, then reconcile with a
    // changed list or carry out the queued requests, then republish), run after it; true when the
    // published input list was rebuilt.
    bool serviceInputs();
    bool skipsInput(std::string const& name) const;
    std::vector<std::string> const& storedInputs();
    void reconcileInputs(std::vector<OutputInfo> const& rows);
    bool drainInputRequests();
    bool carryOutInputEnable(PortRequest const& request);
    bool carryOutInputDisable(PortRequest const& request);
    // Opens the input of `entry` at the row's index if the device there still has the row's name,
    // else at the device a fresh scan gives the entry's name; reports a failure of the latter.
    void openInputByName(InputEntry& entry, OutputInfo const& row);
    void openInput(InputEntry& entry, unsigned index);
    void closeInput(InputEntry& entry);
    InputEntry* createInputEntry(std::string const& name);
    void publishInputs(std::vector<OutputInfo> const& rows);
    void noteLostMessages();
    void releaseInputs();

    // Entries: listed complete, or not at all and with nothing left behind.
    struct PortKind {
        char const* suffix;
        std::uint32_t flags;
    };
    PortEntry* createHardwareEntry(char const* name);
    PortEntry* createLoopbackEntry(char const* name);
    std::unique_ptr<PortEntry> newEntry(char const* name, bool loopback);
    PortEntry* addPorts(std::unique_ptr<PortEntry> entry, PortKind first, PortKind second);

    Hooks hooks_;
    // Written only by the tick, under publishedLock_; the tick reads it without the lock (it is
    // the only writer), other threads copy it under the lock.
    std::vector<PublishedOutput> published_;
    mutable std::mutex publishedLock_;
    std::unique_ptr<MidiOutput> enumeration_;
    std::vector<std::unique_ptr<PortEntry>> entries_;
    RequestQueue requests_;
    std::uint32_t backEnd_;
    bool createLoopback_;
    Dependencies deps_;
    // Scratch space reused by every tick so the steady state does not reallocate.
    std::vector<OutputInfo> rows_;
    std::vector<std::string> chosen_;
    bool chosenRead_ = false;
    std::vector<std::string> pendingErrors_;
    bool stateChanged_ = false;
    // Outputs whose entry could not be made, with why; forgotten once one is made.
    std::vector<EntryState> creationFailures_;

    // Shared inputs.
    std::unique_ptr<MidiInput> inputEnumeration_;
    std::vector<std::unique_ptr<InputEntry>> inputEntries_;
    std::vector<PublishedOutput> publishedInputs_;  // as published_, under publishedLock_
    RequestQueue inputRequests_;
    std::vector<OutputInfo> inputRows_;
    std::vector<std::string> storedInputs_;
    bool storedInputsRead_ = false;
    std::vector<EntryState> inputCreationFailures_;
    unsigned ticksSinceLostCheck_ = 0;
};

// Hands a message to the process-wide instance's error hook.
void reportError(char const* text);

// The service timer's tick function: runs the process-wide instance's service tick.
bool runServiceTick(std::uint32_t elapsedMs, std::uintptr_t user);

// What the program's own instance runs on (the system's devices, driver and timer).
PortController::Dependencies defaultDependencies();
