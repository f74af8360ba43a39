// The engine with the program's own default-ports store, against Wine's real registry: choices
// written by another program while the engine runs quietly are the ones used at the next change.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <memory>
#include <string>

#include "engine/PortController.h"
#include "midi_output/fake_bus/FakeDeviceBus.h"
#include "settings/DefaultPortsStore.h"
#include "settings/SettingsKeyPath.h"
#include "simulated_driver/SimulatedDriver.h"

namespace {

char const kTestKey[] = "SOFTWARE\\Velmora\\TessivaneEngineTests";

// What another program (or a second copy of the dialog) would do: write the value directly.
void storeAsAnotherProgram(char const* text) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "defaultPorts", 0, REG_SZ, reinterpret_cast<BYTE const*>(text),
                             static_cast<DWORD>(std::strlen(text) + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

class StoredChoices : public ::testing::Test {
protected:
    void SetUp() override {
        std::memcpy(savedPath_, g_settingsKeyPath, sizeof savedPath_);
        std::strcpy(g_settingsKeyPath, kTestKey);
        RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
        PortController::Dependencies d;
        d.outputs = &bus;
        d.driver = tessivane::simulatedDriver();
        controller = std::make_unique<PortController>(d);
        PortController::Hooks hooks;
        hooks.defaultPorts = loadDefaultPorts;
        controller->installHooks(hooks);
    }
    void TearDown() override {
        controller.reset();
        RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
        RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
        std::memcpy(g_settingsKeyPath, savedPath_, sizeof savedPath_);
    }
    bool enabled(std::string const& name) const {
        for (auto const& record : controller->publishedOutputs())
            if (record.name == name) return record.enabled;
        return false;
    }

    FakeDeviceBus bus;
    std::unique_ptr<PortController> controller;

private:
    char savedPath_[kSettingsKeyPathSize] = {};
};

}  // namespace

TEST_F(StoredChoices, ChoicesStoredWhileTheEngineRunsAreUsedAtTheNextChange) {
    bus.plug("Synth");
    storeAsAnotherProgram(R"({"ports":["Drums"]})");
    controller->initialize(PortController::Hooks{nullptr, nullptr, loadDefaultPorts});  // no timer here
    EXPECT_FALSE(enabled("Synth"));
    for (int i = 0; i < 20; ++i) controller->serviceTick();

    storeAsAnotherProgram(R"({"ports":["Drums","Synth"]})");
    for (int i = 0; i < 20; ++i) EXPECT_FALSE(controller->serviceTick());
    bus.plug("Drums");
    EXPECT_TRUE(controller->serviceTick());
    EXPECT_TRUE(enabled("Synth"));
    EXPECT_TRUE(enabled("Drums"));

    // The dialog's own store operations are read the same way.
    removeDefaultPort("Synth");
    EXPECT_FALSE(controller->serviceTick());
    bus.plug("Pads");
    EXPECT_TRUE(controller->serviceTick());
    EXPECT_FALSE(enabled("Synth"));
    EXPECT_TRUE(enabled("Drums"));
}
