// Enable, disable and loopback requests from the user interface, with their re-checks.
#include "tests/unit/engine/EngineFixture.h"

class RequestTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        bus.plug("Keys");
        bus.plug("Synth");
        start();
        tick();  // the loopback request
        Recorded::notices = 0;
    }
};

TEST_F(RequestTest, SixteenthRequestIsRefusedUntilTheTickDrainsTheQueue) {
    for (int i = 0; i < 15; ++i) EXPECT_TRUE(controller->tryEnqueue(PortRequest{1, "Synth", false}));
    EXPECT_FALSE(controller->tryEnqueue(PortRequest{1, "Synth", false}));
    EXPECT_TRUE(tick());
    EXPECT_EQ(Recorded::notices, 1);
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{1, "Synth", false}));
}

TEST_F(RequestTest, EnableThenDisableInOneTickGivesOnePublishAndOneNotice) {
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{1, "Synth", true}));
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{1, "Synth", false}));
    EXPECT_TRUE(tick());
    EXPECT_EQ(Recorded::notices, 1);
    EXPECT_FALSE(enabled("Synth"));
    EXPECT_EQ(bus.openCalls(), 1);
    EXPECT_EQ(bus.closeCalls(), 1);
    EXPECT_TRUE(portExists(u"Synth - MIDI"));  // the entry and its ports stay
}

TEST_F(RequestTest, EnableOfAnOpenOutputChangesNothing) {
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{1, "Synth", true}));
    EXPECT_TRUE(tick());
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{1, "Synth", true}));
    EXPECT_FALSE(tick());
    EXPECT_EQ(Recorded::notices, 1);
    EXPECT_EQ(bus.openCalls(), 1);
}

TEST_F(RequestTest, ReenableReusesTheEntryAndItsPorts) {
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{1, "Synth", true}));
    tick();
    std::size_t const entries = controller->entryCount();
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{1, "Synth", false}));
    tick();
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{1, "Synth", true}));
    EXPECT_TRUE(tick());
    EXPECT_TRUE(enabled("Synth"));
    EXPECT_EQ(controller->entryCount(), entries);
}

TEST_F(RequestTest, StaleAndNegativeRequestsAreDroppedSilently) {
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{5, "Synth", true}));     // index out of range
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{0, "Synth", true}));     // names another device
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{-3, "Synth", true}));    // negative
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{0, "Synth", false}));    // disable, wrong name
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{7, "Synth", false}));    // disable, no such record
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{kLoopbackId, kLoopbackName, false}));
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{kLoopbackId, kLoopbackName, true}));  // exists
    std::size_t const entries = controller->entryCount();
    EXPECT_FALSE(tick());
    EXPECT_EQ(Recorded::notices, 0);
    EXPECT_TRUE(Recorded::errors.empty());
    EXPECT_EQ(controller->entryCount(), entries);
    EXPECT_EQ(bus.openCalls(), 0);
}

TEST_F(RequestTest, EnableAfterTheDeviceMovedIsDropped) {
    bus.unplug("Keys");  // Synth moves to index 0; the user still sees it at 1
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{1, "Synth", true}));
    EXPECT_TRUE(tick());  // the change tick
    EXPECT_FALSE(tick()); // index 1 no longer exists: dropped
    EXPECT_FALSE(bus.isOpen("Synth"));
}

TEST_F(RequestTest, DisableOfAClosedOutputStillRepublishes) {
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{1, "Synth", false}));
    EXPECT_TRUE(tick());
    EXPECT_EQ(Recorded::notices, 1);
}

TEST_F(RequestTest, OpenThatThrowsIsReportedAndPublishedAsNotEnabled) {
    bus.failOpen("Synth", "in use by another program");
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{1, "Synth", true}));
    EXPECT_TRUE(tick());
    EXPECT_EQ(Recorded::errors, (std::vector<std::string>{"in use by another program"}));
    EXPECT_EQ(Recorded::notices, 1);
    EXPECT_FALSE(enabled("Synth"));
}

TEST_F(RequestTest, SecondOfTwoEqualNamesIsFoundByItsUniqueName) {
    bus.plug("Other");
    bus.plug("Synth");  // index 3: "Synth (2)"
    EXPECT_TRUE(tick());
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{3, "Synth (2)", true}));
    EXPECT_TRUE(tick());
    EXPECT_TRUE(enabled("Synth (2)"));
    EXPECT_FALSE(enabled("Synth"));
    EXPECT_EQ(bus.lastOpenIndex("Synth"), 3);
    EXPECT_TRUE(portExists(u"Synth (2) - MIDI"));
}

TEST_F(RequestTest, EntryCreationFailuresLeaveNothingBehind) {
    tessivane::refusePortName(u"Synth - SysEx");
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{1, "Synth", true}));
    std::size_t const entries = controller->entryCount();
    EXPECT_FALSE(tick());
    EXPECT_EQ(controller->entryCount(), entries);
    EXPECT_FALSE(portExists(u"Synth - MIDI"));  // the first port was shut down and closed
    EXPECT_EQ(Recorded::errors,
              (std::vector<std::string>{"Error: could not create the virtual MIDI port \"Synth - SysEx\"."}));
    Recorded::errors.clear();

    tessivane::clearRefusedPortNames();
    bus.failCreate("out of handles");
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{1, "Synth", true}));
    EXPECT_FALSE(tick());
    EXPECT_EQ(Recorded::errors, (std::vector<std::string>{"out of handles"}));
    EXPECT_FALSE(portExists(u"Synth - MIDI"));
    bus.clearFaults();
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{1, "Synth", true}));
    EXPECT_TRUE(tick());  // a later try succeeds
    EXPECT_TRUE(enabled("Synth"));
}

TEST_F(RequestTest, RequestsQueuedDuringTheDrainAreCarriedOutInTheSameTick) {
    // The drain takes requests until the queue is empty; the published list sees only the last state.
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{1, "Synth", true}));
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{0, "Keys", true}));
    EXPECT_TRUE(tick());
    EXPECT_TRUE(enabled("Synth"));
    EXPECT_TRUE(enabled("Keys"));
    EXPECT_EQ(Recorded::notices, 1);
}
