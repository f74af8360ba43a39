// A fresh controller on the fake device bus, the in-process simulated driver and the fake timer,
// with hooks that record what the engine reported.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/PortController.h"
#include "engine/ServiceTimer.h"
#include "midi_output/fake_bus/FakeDeviceBus.h"
#include "simulated_driver/SimulatedApplication.h"
#include "simulated_driver/SimulatedDriver.h"
#include "tests/unit/engine/FakeTimer.h"

struct Recorded {
    static inline std::vector<std::string> chosen;   // what the default-ports hook yields
    static inline std::vector<std::string> shared;   // what the shared-inputs hook yields
    static inline std::vector<std::string> errors;
    static inline int notices = 0;
    static inline int inputNotices = 0;
    static inline int defaultPortCalls = 0;
    static inline std::vector<ProgramState> states;  // what the state hook was given

    static void reset() {
        chosen.clear();
        shared.clear();
        errors.clear();
        notices = 0;
        inputNotices = 0;
        defaultPortCalls = 0;
        states.clear();
    }
    static PortController::Hooks hooks() {
        PortController::Hooks h;
        h.portsChanged = [] { ++notices; };
        h.error = [](char const* text) { errors.push_back(text); };
        h.defaultPorts = [](std::vector<std::string>* names) {
            ++defaultPortCalls;
            names->insert(names->end(), chosen.begin(), chosen.end());
        };
        h.inputsChanged = [] { ++inputNotices; };
        h.sharedInputs = [](std::vector<std::string>* names) {
            names->insert(names->end(), shared.begin(), shared.end());
        };
        h.stateChanged = [](ProgramState const& state) { states.push_back(state); };
        return h;
    }
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        Recorded::reset();
        FakeTimer::reset();
        tessivane::clearRefusedPortNames();
    }
    void TearDown() override {
        if (controller) {
            controller->stopServiceTimer();
        }
        controller.reset();
        tessivane::clearRefusedPortNames();
    }

    PortController::Dependencies dependencies() {
        PortController::Dependencies d;
        d.outputs = &bus;
        d.inputs = &bus;
        d.driver = tessivane::simulatedDriver();
        d.timer = &FakeTimer::api();
        return d;
    }
    // Initializes a fresh controller: first tick done, fake timer "running".
    PortController& start() {
        controller = std::make_unique<PortController>(dependencies());
        EXPECT_TRUE(controller->initialize(Recorded::hooks()));
        return *controller;
    }
    bool tick() { return controller->serviceTick(); }

    std::vector<PublishedOutputInfo> published() const { return controller->publishedOutputs(); }
    std::vector<std::string> publishedNames() const {
        std::vector<std::string> names;
        for (auto const& record : published()) names.push_back(record.name);
        return names;
    }
    bool enabled(std::string const& name) const {
        for (auto const& record : published())
            if (record.name == name) return record.enabled;
        return false;
    }
    static bool portExists(std::u16string const& name) {
        for (auto const& live : tessivane::simulatedPortNames())
            if (live == name) return true;
        return false;
    }
    // Writes into a virtual port as another application would, and waits for the delivery.
    static bool play(std::u16string const& port, std::vector<std::uint8_t> const& bytes) {
        auto app = tessivane::SimulatedApplicationPort::open(port);
        if (!app || !app->write(bytes)) return false;
        app->flush();
        return true;
    }

    FakeDeviceBus bus;
    std::unique_ptr<PortController> controller;
};

using Bytes = std::vector<std::uint8_t>;
