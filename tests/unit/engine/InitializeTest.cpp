// Starting the engine: the first tick, the loopback request, the timer and every failure path.
#include "tests/unit/engine/EngineFixture.h"

#include "engine/EngineTexts.h"

TEST_F(EngineTest, NoOutputsAtStartMakesTheLoopbackPairBeforeTheTimerRuns) {
    start();
    EXPECT_TRUE(portExists(u"Zarvik Loopback In"));
    EXPECT_TRUE(portExists(u"Zarvik Loopback Out"));
    EXPECT_EQ(controller->entryCount(), 1u);
    EXPECT_TRUE(published().empty());
    EXPECT_EQ(Recorded::notices, 0);  // the loopback is not a published output
    EXPECT_EQ(bus.createdCount(), 1); // the enumeration connection
    EXPECT_EQ(bus.lastBackEnd(), 4u);
    EXPECT_EQ(bus.lastClientName(), "Velmora Tessivane client");
    EXPECT_TRUE(Recorded::errors.empty());
}

TEST_F(EngineTest, FirstTickWithOutputsPublishesAndOpensChosenOnesThenLoopbackFollows) {
    bus.plug("Synth");
    bus.plug("Drums");
    Recorded::chosen = {"Drums"};
    start();
    EXPECT_EQ(publishedNames(), (std::vector<std::string>{"Synth", "Drums"}));
    EXPECT_FALSE(enabled("Synth"));
    EXPECT_TRUE(enabled("Drums"));
    EXPECT_EQ(bus.lastOpenIndex("Drums"), 1);
    EXPECT_EQ(bus.lastOpenPortName("Drums"), "RtMidi17 Output");
    EXPECT_EQ(Recorded::notices, 1);
    // The change tick left the loopback request queued; the next quiet tick carries it out.
    EXPECT_FALSE(portExists(u"Zarvik Loopback In"));
    EXPECT_FALSE(tick());
    EXPECT_TRUE(portExists(u"Zarvik Loopback In"));
}

TEST_F(EngineTest, MissingDriverIsReportedByDllNameAndStopsTheStart) {
    PortController::Dependencies d = dependencies();
    d.driver = VirtualMidiDriver{};
    d.driverError = "Error: could not load teVirtualMIDI64.dll.";
    controller = std::make_unique<PortController>(d);
    EXPECT_FALSE(controller->initialize(Recorded::hooks()));
    ASSERT_EQ(Recorded::errors.size(), 1u);
    EXPECT_NE(Recorded::errors[0].find("teVirtualMIDI64.dll"), std::string::npos);
    EXPECT_EQ(FakeTimer::begins, 0);
    EXPECT_EQ(bus.createdCount(), 0);
}

TEST_F(EngineTest, EnumerationFailureIsReportedOnceAndTheEngineRunsIdle) {
    bus.plug("Synth");
    Recorded::chosen = {"Synth"};
    bus.failCreate("no WinMM today");
    start();
    EXPECT_EQ(Recorded::errors, (std::vector<std::string>{"no WinMM today"}));
    EXPECT_TRUE(serviceTimer().running());
    bus.clearFaults();
    // Every tick does nothing: no ports, not even the loopback, requests stay queued.
    EXPECT_FALSE(tick());
    EXPECT_FALSE(controller->hasEnumerationConnection());
    EXPECT_EQ(controller->entryCount(), 0u);
    EXPECT_EQ(Recorded::defaultPortCalls, 0);
    EXPECT_TRUE(tessivane::simulatedPortNames().empty());
    // The loopback request is still pending: 14 more fit, the 15th after it does not.
    for (int i = 0; i < 14; ++i) EXPECT_TRUE(controller->tryEnqueue(PortRequest{0, "Synth", true}));
    EXPECT_FALSE(controller->tryEnqueue(PortRequest{0, "Synth", true}));
}

TEST_F(EngineTest, TimerThatCannotStartIsReportedAndBalanced) {
    FakeTimer::nextId = 0;
    controller = std::make_unique<PortController>(dependencies());
    EXPECT_FALSE(controller->initialize(Recorded::hooks()));
    EXPECT_EQ(Recorded::errors, (std::vector<std::string>{"Error: could not start MIDI thread."}));
    EXPECT_EQ(FakeTimer::begins, 1);
    EXPECT_EQ(FakeTimer::ends, 1);
    EXPECT_FALSE(serviceTimer().running());
}

TEST_F(EngineTest, AbsentHooksAreSkipped) {
    bus.plug("Synth");
    controller = std::make_unique<PortController>(dependencies());
    EXPECT_TRUE(controller->initialize(PortController::Hooks{}));
    EXPECT_EQ(publishedNames(), (std::vector<std::string>{"Synth"}));
    bus.failOpen("Synth", "busy");
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{0, "Synth", true}));
    // The loopback and the enable in one tick; the open fails with nobody to tell, nothing breaks.
    EXPECT_TRUE(tick());
    EXPECT_FALSE(enabled("Synth"));
}

TEST_F(EngineTest, TeardownClosesEveryPortAndOutput) {
    bus.plug("Synth");
    Recorded::chosen = {"Synth"};
    start();
    tick();
    ASSERT_TRUE(bus.isOpen("Synth"));
    ASSERT_EQ(tessivane::simulatedPortNames().size(), 4u);
    controller->stopServiceTimer();
    controller.reset();
    EXPECT_FALSE(bus.isOpen("Synth"));
    EXPECT_EQ(bus.liveOutputs(), 0);
    EXPECT_TRUE(tessivane::simulatedPortNames().empty());
}

TEST_F(EngineTest, FullQueueAtStartIsReportedAndNoLoopbackIsMade) {
    controller = std::make_unique<PortController>(dependencies());
    for (int i = 0; i < 15; ++i) ASSERT_TRUE(controller->tryEnqueue(PortRequest{5, "Nothing", false}));
    EXPECT_TRUE(controller->initialize(Recorded::hooks()));
    EXPECT_EQ(Recorded::errors,
              (std::vector<std::string>{"Error: could not process MIDI port disable request."}));
    tick();
    EXPECT_FALSE(portExists(u"Zarvik Loopback In"));
    EXPECT_EQ(controller->entryCount(), 0u);
}

namespace {

PortController* observed = nullptr;
std::vector<std::string> seenAtNotice;

}  // namespace

TEST_F(EngineTest, PortsChangedHookSeesTheRebuiltList) {
    bus.plug("Synth");
    controller = std::make_unique<PortController>(dependencies());
    observed = controller.get();
    seenAtNotice.clear();
    PortController::Hooks hooks = Recorded::hooks();
    hooks.portsChanged = [] {
        for (auto const& record : observed->publishedOutputs()) seenAtNotice.push_back(record.name);
    };
    EXPECT_TRUE(controller->initialize(hooks));
    EXPECT_EQ(seenAtNotice, (std::vector<std::string>{"Synth"}));
}

TEST_F(EngineTest, ALoopbackPairThatCouldNotBeMadeIsInTheStateBeforeItsErrorIsShown) {
    static std::vector<ProgramState> states;
    static std::size_t errorsBefore = 0;
    states.clear();
    tessivane::refusePortName(u"Zarvik Loopback Out");
    controller = std::make_unique<PortController>(dependencies());
    PortController::Hooks hooks = Recorded::hooks();
    hooks.stateChanged = [](ProgramState const& state) {
        states.push_back(state);
        errorsBefore = Recorded::errors.size();
    };
    EXPECT_TRUE(controller->initialize(hooks));
    ASSERT_EQ(states.size(), 1u) << "the tick that failed to make it changed what the state describes";
    EXPECT_FALSE(states[0].loopbackCreated);
    EXPECT_EQ(errorsBefore, 0u);
    EXPECT_EQ(Recorded::errors.size(), 1u);
}
