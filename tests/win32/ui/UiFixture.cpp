#include "tests/win32/ui/UiFixture.h"

#include <cstring>

#include "engine/MultimediaTimerApi.h"
#include "settings/DefaultPortsStore.h"
#include "settings/SharedInputsStore.h"
#include "settings/SettingsKeyPath.h"
#include "simulated_driver/SimulatedDriver.h"
#include "tests/win32/settings/TestRegistry.h"
#include "tests/win32/ui/UiRobot.h"
#include "ui/MainWindow.h"
#include "ui/Shell.h"
#include "ui/ShellState.h"
#include "ui/resource.h"

namespace {

MultimediaTimerApi const& timerThatNeverFires() {
    static MultimediaTimerApi const api = {
        [](std::uint32_t) -> std::uint32_t { return 0; },
        [](std::uint32_t) -> std::uint32_t { return 0; },
        []() -> std::uint32_t { return 0; },
        [](std::uint32_t, std::uint32_t, TimerCallback, std::uintptr_t, std::uint32_t) -> std::uint32_t {
            return 1;
        },
        [](std::uint32_t) -> std::uint32_t { return 0; },
    };
    return api;
}

// Starts the shell the way the program's entry does, but with the tests' settings key and
// without the message loop (each test pumps messages itself).
class UiEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        PortController::Dependencies dependencies;
        dependencies.outputs = &uiBus();
        dependencies.inputs = &uiBus();
        dependencies.driver = tessivane::simulatedDriver();
        dependencies.timer = &timerThatNeverFires();
        PortController::configureInstance(dependencies);

        std::strcpy(g_settingsKeyPath, kUiTestKey);
        deleteKeyTree(kUiTestKey);
        HINSTANCE const instance = GetModuleHandleW(nullptr);
        LoadStringW(instance, IDS_APP_TITLE, shell().windowTitle, 100);
        LoadStringW(instance, IDC_TESSIVANE, shell().windowClass, 100);
        ASSERT_NE(createMainWindow(instance), nullptr);
        ASSERT_TRUE(PortController::instance().initialize(engineHooks()));
    }
    void TearDown() override {
        DestroyWindow(shell().mainWindow);
        deleteKeyTree(kUiTestKey);
    }
};

::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new UiEnvironment);

}  // namespace

FakeDeviceBus& uiBus() {
    static FakeDeviceBus bus;
    return bus;
}

PortController& engine() { return PortController::instance(); }
HWND mainWindow() { return shell().mainWindow; }

bool tick() { return engine().serviceTick(); }

void useDevices(std::vector<std::string> const& names) {
    // Everything unplugged first: that change closes every output a test left open.
    while (!uiBus().deviceNames().empty()) {
        uiBus().unplugAt(0);
    }
    tick();
    for (std::string const& name : names) {
        uiBus().plug(name);
    }
    for (int i = 0; i < 3 && tick(); ++i) {
    }
}

void useInputs(std::vector<std::string> const& names) {
    // Every input unplugged first: that closes every input a test left shared.
    while (!uiBus().inputNames().empty()) {
        uiBus().unplugInputAt(0);
    }
    tick();
    for (std::string const& name : names) {
        uiBus().plugInput(name);
    }
    tick();
}

std::vector<std::string> storedSharedInputs() {
    std::vector<std::string> names;
    loadSharedInputs(&names);
    return names;
}

std::vector<std::string> storedChoices() {
    std::vector<std::string> names;
    loadDefaultPorts(&names);
    return names;
}

void clearStoredChoices() { deleteKeyTree(kUiTestKey); }

HWND openConfigureDialog() {
    PostMessageW(mainWindow(), WM_COMMAND, IDM_CONFIGURE, 0);
    return robot::waitForWindow("Velmora Tessivane", "#32770");
}

HWND openShareInputsDialog() {
    PostMessageW(mainWindow(), WM_COMMAND, IDM_SHARE_INPUTS, 0);
    return robot::waitForWindow("Velmora Tessivane", "#32770");
}

bool published(std::string const& name, bool* enabled) {
    for (PublishedOutputInfo const& record : engine().publishedOutputs()) {
        if (record.name == name) {
            if (enabled != nullptr) {
                *enabled = record.enabled;
            }
            return true;
        }
    }
    return false;
}
