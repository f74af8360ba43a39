// The UI test harness: the real tray program (same entry, window procedures, dialogs and
// resources) on simulated MIDI outputs, because Wine lists none. Used by the end-to-end UI tests
// and by scripts/screenshots.sh; never shipped. It reads no command line; the environment says
// what to simulate:
//   TESSIVANE_HARNESS_OUTPUTS    outputs plugged at start, separated by "|"
//   TESSIVANE_HARNESS_CHOSEN     names stored as chosen (the program's own settings key) at start
//   TESSIVANE_HARNESS_LATER      outputs plugged when the control window gets kPlugLater
//   TESSIVANE_HARNESS_FAIL_OPEN  outputs whose every open fails with kOpenFailure
//   TESSIVANE_HARNESS_HELD       outputs that another application holds: every open fails as
//                                WinMM's does then (RtMidi's text, MMSYSERR_ALLOCATED)
//   TESSIVANE_HARNESS_SLOW_OPEN  outputs whose every open first waits until the main window's
//                                exit has begun (at most 20 s): a tick in progress when the
//                                user exits
//   TESSIVANE_HARNESS_INPUTS     inputs plugged at start; each plays whatever applications write
//                                into the port "<input> Player", as a keyboard would (a SysEx in
//                                WinMM-sized buffers)
//   TESSIVANE_HARNESS_SHARED     inputs stored as shared (the program's own settings key) at start
//   TESSIVANE_HARNESS_DRIVER     "dll": the driver is teVirtualMIDI64.dll, found as the program
//                                finds it, so that other processes (vmidi-client) reach the ports;
//                                otherwise the simulated driver linked in
// and its control window (HarnessControl.h) takes what a test cannot do from outside: plug later,
// hold the ticks and fill the request queue, click a check box, hold the mouse capture, keep an
// error box for later, count the timers that came under the capture.
// The virtual ports live in this process (the simulated driver linked in), unless the DLL is asked
// for.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdlib>
#include <exception>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/EngineTexts.h"
#include "engine/PortController.h"
#include "engine/win32/MultimediaTimerWin32.h"
#include "midi_common/MidiOpenError.h"
#include "midi_output/fake_bus/FakeDeviceBus.h"
#include "settings/DefaultPortsStore.h"
#include "settings/SharedInputsStore.h"
#include "simulated_driver/SimulatedDriver.h"
#include "tests/win32/ui/RealInput.h"
#include "tests/win32/ui/harness/HarnessControl.h"
#include "ui/AppMessages.h"
#include "ui/CheckBoxTree.h"
#include "ui/ConfigureDialog.h"
#include "ui/ErrorBox.h"
#include "ui/Shell.h"
#include "ui/ShellState.h"
#include "ui/resource.h"
#include "virtual_midi/VirtualMidiBinding.h"

namespace {

char const kOpenFailure[] = "Error: the MIDI output is in use by another application.";

std::vector<std::string> listFromEnvironment(char const* variable) {
    std::vector<std::string> names;
    char const* value = std::getenv(variable);
    if (value == nullptr) {
        return names;
    }
    std::stringstream stream(value);
    std::string name;
    while (std::getline(stream, name, '|')) {
        if (!name.empty()) {
            names.push_back(name);
        }
    }
    return names;
}

bool listed(char const* variable, std::string const& name) {
    for (std::string const& entry : listFromEnvironment(variable)) {
        if (entry == name) {
            return true;
        }
    }
    return false;
}

FakeDeviceBus& bus() {
    static FakeDeviceBus devices;
    return devices;
}

// Set on the user-interface thread as the main window's WM_DESTROY begins; read by slow opens.
std::atomic<bool> exitBegun{false};
std::atomic<int> slowOpensBegun{0};
DWORD const kSlowOpenLimitMs = 20000;

LRESULT CALLBACK noteExit(int code, WPARAM sentByOtherThread, LPARAM lParam) {
    CWPSTRUCT const& message = *reinterpret_cast<CWPSTRUCT const*>(lParam);
    if (code == HC_ACTION && message.message == WM_DESTROY && message.hwnd == shell().mainWindow) {
        exitBegun.store(true);
    }
    return CallNextHookEx(nullptr, code, sentByOtherThread, lParam);
}

// An output of the bus whose open, for the outputs listed as slow, waits for the exit to begin, and
// fails for those listed as held.
class SlowOpenOutput : public MidiOutput {
public:
    explicit SlowOpenOutput(std::unique_ptr<MidiOutput> output) : output_(std::move(output)) {}
    unsigned portCount() override { return output_->portCount(); }
    std::string portName(unsigned index) override { return output_->portName(index); }
    void openPort(unsigned index, std::string const& portName) override {
        if (listed("TESSIVANE_HARNESS_SLOW_OPEN", output_->portName(index))) {
            slowOpensBegun.fetch_add(1);
            for (DWORD waited = 0; !exitBegun.load() && waited < kSlowOpenLimitMs; waited += 10) {
                Sleep(10);
            }
        }
        if (listed("TESSIVANE_HARNESS_HELD", output_->portName(index))) {
            throw MidiOpenError("MidiOutWinMM::openPort: error creating Windows MM MIDI output port.", kMidiErrorAllocated);
        }
        output_->openPort(index, portName);
    }
    bool isPortOpen() const override { return output_->isPortOpen(); }
    void closePort() override { output_->closePort(); }
    void sendMessage(std::uint8_t const* bytes, std::size_t length) override {
        output_->sendMessage(bytes, length);
    }

private:
    std::unique_ptr<MidiOutput> output_;
};

class HarnessOutputs : public MidiOutputFactory {
public:
    std::unique_ptr<MidiOutput> create(std::uint32_t backEnd, std::string const& clientName) override {
        return std::make_unique<SlowOpenOutput>(bus().create(backEnd, clientName));
    }
};

// The "<input> Player" ports: what an application writes into one, the input of that name plays.
std::vector<std::string>& playedInputs() {
    static std::vector<std::string> names;
    return names;
}

std::size_t const kWinMmBufferSize = 1024;

void TE_VM_CALL onPlayerData(VirtualMidiPortHandle, std::uint8_t* bytes, std::uint32_t length,
                             std::uintptr_t instance) {
    FakeDeviceBus::Message const message(bytes, bytes + length);
    std::string const& name = playedInputs().at(instance);
    try {
        if (length > kWinMmBufferSize && bytes[0] == 0xF0) {
            bus().playInput(name, FakeDeviceBus::sysexBuffers(message, kWinMmBufferSize));
        } else {
            bus().playInput(name, {message});
        }
    } catch (std::exception const&) {
        // Nothing may leave the driver's thread; a lost message shows in the test that sent it.
    }
}

// Kept for the life of the process, as the program keeps its own ports.
void createPlayerPorts(VirtualMidiDriver const& driver) {
    std::uint32_t const kWrittenByApplications = kVirtualMidiParseRx | kVirtualMidiRxOnly;
    for (std::size_t i = 0; i < playedInputs().size(); ++i) {
        std::string const name = playedInputs()[i] + " Player";
        std::u16string const wide(name.begin(), name.end());  // the harness's names are ASCII
        driver.createPortEx2(wide.c_str(), onPlayerData, i, 0x10000, kWrittenByApplications);
    }
}

// The system's timer, but its events reach the engine only while ticks are not held.
std::atomic<bool> ticksHeld{false};
std::atomic<int> ticksRunning{0};
std::atomic<TimerCallback> engineTimerProc{nullptr};

void TE_TIMER_CALL heldTimerProc(std::uint32_t id, std::uint32_t message, std::uintptr_t user,
                                 std::uintptr_t reserved1, std::uintptr_t reserved2) {
    ticksRunning.fetch_add(1);  // before the test of the flag: holdTicks waits for it to drain
    if (!ticksHeld.load()) {
        engineTimerProc.load()(id, message, user, reserved1, reserved2);
    }
    ticksRunning.fetch_sub(1);
}

MultimediaTimerApi const& harnessTimer() {
    static MultimediaTimerApi const api = [] {
        MultimediaTimerApi timer = systemMultimediaTimer();
        timer.setEvent = [](std::uint32_t delay, std::uint32_t resolution, TimerCallback callback,
                            std::uintptr_t user, std::uint32_t flags) {
            engineTimerProc.store(callback);
            return systemMultimediaTimer().setEvent(delay, resolution, heldTimerProc, user, flags);
        };
        return timer;
    }();
    return api;
}

void holdTicksAndFillQueue() {
    ticksHeld.store(true);
    while (ticksRunning.load() != 0) {
        Sleep(1);
    }
    PortController& engine = PortController::instance();
    std::vector<PublishedOutputInfo> const outputs = engine.publishedOutputs();
    if (!outputs.empty()) {
        while (engine.tryEnqueue(PortRequest{outputs[0].id, outputs[0].name, false})) {
        }
    }
}

void clickFirstBox() {
    HWND const tree = GetDlgItem(configureDialogHandle(), IDC_OUTPUT_TREE);
    auto const item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    if (tree != nullptr && item != nullptr) {
        robot::clickAt(robot::checkBoxPoint(tree, item));
    }
}

// Timer messages of the main window and of the Configure dialog taken from the queue while a
// window of this thread held the capture: what a deferral waits for, seen as it happens.
LRESULT timersUnderCapture[2] = {};

LRESULT CALLBACK countTimersUnderCapture(int code, WPARAM removed, LPARAM lParam) {
    MSG const& message = *reinterpret_cast<MSG const*>(lParam);
    if (code == HC_ACTION && removed == PM_REMOVE && message.message == WM_TIMER &&
        GetCapture() != nullptr) {
        if (message.hwnd == shell().mainWindow && message.wParam == kLaterErrorBoxesTimer) {
            ++timersUnderCapture[kMainWindowTimer];
        } else if (message.hwnd == configureDialogHandle() &&
                   message.wParam == kCheckBoxTreeRebuildTimer) {
            ++timersUnderCapture[kTreeRebuildTimer];
        }
    }
    return CallNextHookEx(nullptr, code, removed, lParam);
}

LRESULT CALLBACK controlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kPlugLater:
        for (std::string const& name : listFromEnvironment("TESSIVANE_HARNESS_LATER")) {
            bus().plug(name);
        }
        return 1;
    case kFillQueue:
        holdTicksAndFillQueue();
        return 1;
    case kReleaseTicks:
        ticksHeld.store(false);
        return 1;
    case kClickFirstBox:
        clickFirstBox();
        return 1;
    case kHoldTreeCapture:
        timersUnderCapture[kMainWindowTimer] = timersUnderCapture[kTreeRebuildTimer] = 0;
        SetCapture(GetDlgItem(configureDialogHandle(), IDC_OUTPUT_TREE));
        return 1;
    case kReleaseCapture:
        ReleaseCapture();
        return 1;
    case kPublishedCount:
        return static_cast<LRESULT>(PortController::instance().publishedOutputs().size());
    case kErrorBoxLater:
        try {
            showErrorBoxLater(kErrorRequestRefused);
        } catch (std::exception const&) {
            return 0;  // out of memory for the text
        }
        return 1;
    case kTimersUnderCapture:
        return wParam <= kTreeRebuildTimer ? timersUnderCapture[wParam] : -1;
    case kSlowOpensBegun:
        return slowOpensBegun.load();
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void createControlWindow(HINSTANCE instance) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = controlProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kHarnessControlClass;
    RegisterClassW(&windowClass);
    CreateWindowExW(0, kHarnessControlClass, L"", 0, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    for (std::string const& name : listFromEnvironment("TESSIVANE_HARNESS_OUTPUTS")) {
        bus().plug(name);
    }
    for (std::string const& name : listFromEnvironment("TESSIVANE_HARNESS_FAIL_OPEN")) {
        bus().failOpen(name, kOpenFailure);
    }
    for (std::string const& name : listFromEnvironment("TESSIVANE_HARNESS_CHOSEN")) {
        addDefaultPort(name.c_str());
    }
    for (std::string const& name : listFromEnvironment("TESSIVANE_HARNESS_INPUTS")) {
        bus().plugInput(name);
        playedInputs().push_back(name);
    }
    for (std::string const& name : listFromEnvironment("TESSIVANE_HARNESS_SHARED")) {
        addSharedInput(name.c_str());
    }
    PortController::Dependencies dependencies;
    static HarnessOutputs outputs;
    dependencies.outputs = &outputs;
    dependencies.inputs = &bus();
    char const* const driver = std::getenv("TESSIVANE_HARNESS_DRIVER");
    if (driver != nullptr && std::string(driver) == "dll") {
        dependencies.driver = virtualMidiBinding().driver;
        dependencies.driverError = virtualMidiBinding().error;
    } else {
        dependencies.driver = tessivane::simulatedDriver();
    }
    if (dependencies.driver.complete()) {
        createPlayerPorts(dependencies.driver);
    }
    dependencies.timer = &harnessTimer();
    PortController::configureInstance(dependencies);
    createControlWindow(instance);
    SetWindowsHookExW(WH_GETMESSAGE, countTimersUnderCapture, nullptr, GetCurrentThreadId());
    SetWindowsHookExW(WH_CALLWNDPROC, noteExit, nullptr, GetCurrentThreadId());
    return runTessivane(instance);
}
