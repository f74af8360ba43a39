// The UI test harness: the real tray program (same entry, window procedures, dialogs and
// resources) on simulated MIDI outputs, because Wine lists none. Used by the end-to-end UI tests
// and by scripts/screenshots.sh; never shipped. It reads no command line; the environment says
// what to simulate:
//   TESSIVANE_HARNESS_OUTPUTS    outputs plugged at start, separated by "|"
//   TESSIVANE_HARNESS_CHOSEN     names stored as chosen (the program's own settings key) at start
//   TESSIVANE_HARNESS_LATER      outputs plugged when the control window gets kPlugLater
//   TESSIVANE_HARNESS_FAIL_OPEN  outputs whose every open fails with kOpenFailure
//   TESSIVANE_HARNESS_SLOW_OPEN  outputs whose every open first takes a second (a tick in
//                                progress for that long)
// The virtual ports live in this process (the simulated driver linked in).
#include <windows.h>

#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/PortController.h"
#include "engine/win32/MultimediaTimerWin32.h"
#include "midi_output/fake_bus/FakeDeviceBus.h"
#include "settings/DefaultPortsStore.h"
#include "simulated_driver/SimulatedDriver.h"
#include "tests/win32/ui/harness/HarnessControl.h"
#include "ui/Shell.h"

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

// An output of the bus whose open takes a second for the outputs listed as slow.
class SlowOpenOutput : public MidiOutput {
public:
    explicit SlowOpenOutput(std::unique_ptr<MidiOutput> output) : output_(std::move(output)) {}
    unsigned portCount() override { return output_->portCount(); }
    std::string portName(unsigned index) override { return output_->portName(index); }
    void openPort(unsigned index, std::string const& portName) override {
        if (listed("TESSIVANE_HARNESS_SLOW_OPEN", output_->portName(index))) {
            Sleep(1000);
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

LRESULT CALLBACK controlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kPlugLater) {
        for (std::string const& name : listFromEnvironment("TESSIVANE_HARNESS_LATER")) {
            bus().plug(name);
        }
        return 1;
    }
    return DefWindowProcW(window, message, wParam, lParam);
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
    PortController::Dependencies dependencies;
    static HarnessOutputs outputs;
    dependencies.outputs = &outputs;
    dependencies.driver = tessivane::simulatedDriver();
    dependencies.timer = &systemMultimediaTimer();
    PortController::configureInstance(dependencies);
    createControlWindow(instance);
    return runTessivane(instance);
}
