// The service tick against the fake device bus: scan, unique names, change test, reconciliation.
#include "tests/unit/engine/EngineFixture.h"

#include "simulated_driver/PortNameCodec.h"

TEST_F(EngineTest, NoEnumerationConnectionMeansTheTickTouchesNothing) {
    controller = std::make_unique<PortController>(dependencies());
    controller->installHooks(Recorded::hooks());
    bus.plug("Synth");
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{kLoopbackId, kLoopbackName, true}));
    EXPECT_FALSE(tick());
    EXPECT_TRUE(published().empty());
    EXPECT_EQ(controller->entryCount(), 0u);
    EXPECT_EQ(Recorded::defaultPortCalls, 0);
}

TEST_F(EngineTest, RepeatedNamesAreNumberedInDeviceOrder) {
    bus.plug("Synth");
    bus.plug("Other");
    bus.plug("Synth");
    bus.plug("Synth");
    start();
    EXPECT_EQ(publishedNames(), (std::vector<std::string>{"Synth", "Other", "Synth (2)", "Synth (3)"}));
    auto const records = published();
    EXPECT_EQ(records[2].id, 2);
    EXPECT_EQ(records[3].id, 3);
}

TEST_F(EngineTest, HundredthRepeatSharesThePlainNameAndLongNamesAreCut) {
    std::string const name30(30, 'L');
    for (int i = 0; i < 101; ++i) bus.plug("Same");
    bus.plug(name30);
    bus.plug(name30);
    start();
    auto const names = publishedNames();
    ASSERT_EQ(names.size(), 103u);
    EXPECT_EQ(names[98], "Same (99)");
    EXPECT_EQ(names[99], "Same");
    EXPECT_EQ(names[100], "Same");
    EXPECT_EQ(names[101], name30);
    EXPECT_EQ(names[102], std::string(27, 'L') + " (2)");
}

TEST_F(EngineTest, OwnPortsAndTheLoopbackPairAreNeverListed) {
    bus.plug("Synth - MIDI");
    bus.plug("Piano - SysEx");
    bus.plug("Zarvik Loopback In");  // listed only until the loopback entry exists
    bus.plug("Synth");
    start();
    EXPECT_EQ(publishedNames(), (std::vector<std::string>{"Zarvik Loopback In", "Synth"}));
    EXPECT_FALSE(tick());  // creates the loopback entry
    bus.plug("Zarvik Loopback Out");
    EXPECT_TRUE(tick());   // the list changed: the loopback's own ports drop out
    EXPECT_EQ(publishedNames(), (std::vector<std::string>{"Synth"}));
}

TEST_F(EngineTest, QuietTicksPublishNothingAndCallNoHook) {
    bus.plug("Synth");
    start();
    tick();
    int const notices = Recorded::notices;
    int const reads = Recorded::defaultPortCalls;
    for (int i = 0; i < 10; ++i) EXPECT_FALSE(tick());
    EXPECT_EQ(Recorded::notices, notices);
    // Nothing changed, so nothing needed the stored choices.
    EXPECT_EQ(Recorded::defaultPortCalls, reads);
}

TEST_F(EngineTest, StoredChoicesAreReadWhenTheListChangesAsTheyAreThen) {
    bus.plug("Synth");
    start();
    tick();
    EXPECT_EQ(Recorded::defaultPortCalls, 1);  // the first tick, which found the list grown
    EXPECT_FALSE(enabled("Synth"));

    // Another program (or the dialog) stored choices while the engine ran quietly.
    Recorded::chosen = {"Synth", "Drums"};
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(tick());
    bus.plug("Drums");
    EXPECT_TRUE(tick());
    EXPECT_EQ(Recorded::defaultPortCalls, 2);  // once for the change tick
    EXPECT_TRUE(enabled("Synth"));
    EXPECT_TRUE(enabled("Drums"));

    // Unticked elsewhere: closed at the next change, as if the choices had been read every tick.
    Recorded::chosen = {"Drums"};
    EXPECT_FALSE(tick());
    EXPECT_TRUE(enabled("Synth"));  // nothing changed yet
    bus.plug("Pads");
    EXPECT_TRUE(tick());
    EXPECT_FALSE(enabled("Synth"));
    EXPECT_TRUE(enabled("Drums"));
    EXPECT_EQ(Recorded::defaultPortCalls, 3);
}

TEST_F(EngineTest, UnplugClosesAllAndReopensTheRestAtTheirNewIndices) {
    bus.plug("Keys");
    bus.plug("Synth");
    bus.plug("Drums");
    Recorded::chosen = {"Synth", "Drums"};
    start();
    tick();
    EXPECT_EQ(bus.lastOpenIndex("Drums"), 2);
    int const opens = bus.openCalls();

    bus.unplug("Keys");
    EXPECT_TRUE(tick());
    EXPECT_EQ(publishedNames(), (std::vector<std::string>{"Synth", "Drums"}));
    EXPECT_EQ(bus.lastOpenIndex("Synth"), 0);
    EXPECT_EQ(bus.lastOpenIndex("Drums"), 1);
    EXPECT_EQ(bus.openCalls(), opens + 2);
    EXPECT_TRUE(enabled("Synth"));

    bus.unplug("Synth");
    EXPECT_TRUE(tick());
    // Its entry keeps its virtual ports with a closed output.
    EXPECT_TRUE(portExists(u"Synth - MIDI"));
    EXPECT_FALSE(bus.isOpen("Synth"));
    std::size_t const entries = controller->entryCount();

    bus.plugAt(0, "Synth");
    EXPECT_TRUE(tick());
    EXPECT_TRUE(bus.isOpen("Synth"));
    EXPECT_EQ(bus.lastOpenIndex("Synth"), 0);
    EXPECT_EQ(controller->entryCount(), entries);  // no second entry
}

TEST_F(EngineTest, SwapIsAChangeAndBothReopenAtTheirNewIndices) {
    bus.plug("A");
    bus.plug("B");
    Recorded::chosen = {"A", "B"};
    start();
    tick();
    bus.swap(0, 1);
    EXPECT_TRUE(tick());
    EXPECT_EQ(bus.lastOpenIndex("A"), 1);
    EXPECT_EQ(bus.lastOpenIndex("B"), 0);
    EXPECT_TRUE(enabled("A"));
    EXPECT_TRUE(enabled("B"));
}

TEST_F(EngineTest, ListThatDidNotGrowCreatesNoEntry) {
    bus.plug("Old");
    bus.plug("Keys");
    bus.plug("Pads");
    Recorded::chosen = {"New"};
    start();
    tick();
    std::size_t const entries = controller->entryCount();
    bus.rename(0, "New");  // replaced at equal count
    EXPECT_TRUE(tick());
    EXPECT_EQ(controller->entryCount(), entries);
    EXPECT_FALSE(enabled("New"));
    // Stored by another program while the engine runs, then a device goes: the list shrank.
    Recorded::chosen = {"New", "Keys"};
    bus.unplug("Pads");
    EXPECT_TRUE(tick());
    EXPECT_EQ(controller->entryCount(), entries);
    EXPECT_FALSE(bus.isOpen("Keys"));
    EXPECT_FALSE(bus.isOpen("New"));
    // The user can still enable it from the dialog.
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{0, "New", true}));
    EXPECT_TRUE(tick());
    EXPECT_TRUE(enabled("New"));
}

TEST_F(EngineTest, UnchosenOutputIsClosedAtTheNextChangeEvenIfEnabledByRequest) {
    bus.plug("Synth");
    start();
    tick();
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{0, "Synth", true}));
    EXPECT_TRUE(tick());
    EXPECT_TRUE(enabled("Synth"));
    bus.plug("Other");
    EXPECT_TRUE(tick());
    EXPECT_FALSE(enabled("Synth"));
    EXPECT_FALSE(bus.isOpen("Synth"));
}

TEST_F(EngineTest, FallbackScanReportsAFailedOpenAndTheOutputStaysClosed) {
    bus.plug("Synth");
    bus.plug("Piano");
    Recorded::chosen = {"Synth", "Piano"};
    bus.failOpen("Synth", "device busy");
    start();
    // The first open at the row's index fails silently; the fallback's open reports.
    EXPECT_EQ(Recorded::errors, (std::vector<std::string>{"device busy"}));
    EXPECT_FALSE(enabled("Synth"));
    EXPECT_TRUE(enabled("Piano"));
    EXPECT_EQ(Recorded::notices, 1);
}

TEST_F(EngineTest, RequestsWaitThroughChangeTicks) {
    bus.plug("Synth");
    start();
    tick();
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{0, "Synth", true}));
    bus.plug("Drums");
    EXPECT_TRUE(tick());  // change: the request stays queued
    EXPECT_FALSE(enabled("Synth"));
    EXPECT_TRUE(tick());  // quiet: carried out
    EXPECT_TRUE(enabled("Synth"));
}

TEST_F(EngineTest, SkippedDeviceBelowAnOutputShiftsItsIndexUnnoticed) {
    bus.plug("Synth");
    start();
    tick();
    bus.plugAt(0, "Keys - MIDI");  // a new virtual port, filtered out
    EXPECT_FALSE(tick());
    EXPECT_EQ(published()[0].id, 0);  // stale until the next change
    // An enable carrying the stale index now names the filtered port: dropped.
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{0, "Synth", true}));
    EXPECT_FALSE(tick());
    EXPECT_FALSE(bus.isOpen("Synth"));
}

namespace {

FakeDeviceBus* busToChange = nullptr;

}  // namespace

TEST_F(EngineTest, FallbackScanOpensTheOutputAtTheIndexItMovedTo) {
    bus.plug("Synth");
    busToChange = &bus;
    PortController::Hooks hooks = Recorded::hooks();
    // A device is plugged in below Synth after this tick's scan read the list: the open at the
    // row's own index finds another device there, and the fallback scan finds Synth one further.
    hooks.defaultPorts = [](std::vector<std::string>* names) {
        names->push_back("Synth");
        if (busToChange != nullptr) {
            busToChange->plugAt(0, "Keys");
            busToChange = nullptr;
        }
    };
    controller = std::make_unique<PortController>(dependencies());
    ASSERT_TRUE(controller->initialize(hooks));
    EXPECT_TRUE(bus.isOpen("Synth"));
    EXPECT_EQ(bus.lastOpenIndex("Synth"), 1);
    EXPECT_FALSE(bus.isOpen("Keys"));
    EXPECT_TRUE(Recorded::errors.empty());
    EXPECT_TRUE(tick());  // the next tick sees the new list and publishes Synth where it is now
    EXPECT_EQ(publishedNames(), (std::vector<std::string>{"Keys", "Synth"}));
    EXPECT_EQ(published()[1].id, 1);
    EXPECT_TRUE(enabled("Synth"));
}

TEST_F(EngineTest, TwoDevicesWithTheSameLongNameGetPortsOfTheirOwn) {
    std::string const name(30, 'L');
    std::string const second = std::string(27, 'L') + " (2)";
    bus.plug(name);
    bus.plug(name);
    Recorded::chosen = {name, second};
    start();
    EXPECT_EQ(publishedNames(), (std::vector<std::string>{name, second}));
    EXPECT_TRUE(enabled(name));
    EXPECT_TRUE(enabled(second));
    EXPECT_TRUE(portExists(tessivane::utf16FromUtf8(std::string(24, 'L') + " - MIDI")));
    EXPECT_TRUE(portExists(tessivane::utf16FromUtf8(std::string(20, 'L') + " (2) - MIDI")));
    EXPECT_TRUE(portExists(tessivane::utf16FromUtf8(std::string(19, 'L') + " (2) - SysEx")));
    EXPECT_TRUE(Recorded::errors.empty());
}

TEST_F(EngineTest, PortsThatCannotBeCreatedAreReported) {
    bus.plug("Synth");
    Recorded::chosen = {"Synth"};
    tessivane::refusePortName(u"Synth - MIDI");  // another program holds the name
    start();
    EXPECT_EQ(Recorded::errors,
              (std::vector<std::string>{"Error: could not create the virtual MIDI port \"Synth - MIDI\"."}));
    EXPECT_FALSE(enabled("Synth"));
    EXPECT_FALSE(portExists(u"Synth - SysEx"));  // no half-made entry
}
