// Creating an entry that cannot be completed, and what must not escape while building one.
#include "tests/unit/engine/EngineFixture.h"

#include <new>

namespace {

// A driver that makes every port except " - SysEx" ones, and checks at each shutdown that the
// entry was retired first: its closing flag set and no forwarding call inside it. A late delivery
// at that moment (the vendor's driver may still deliver until the port is closed) must be dropped.
struct RetirementCheckingDriver {
    static inline int made = 0;
    static inline int shutdowns = 0;
    static inline int retiredAtShutdown = 0;
    static inline std::uintptr_t lastInstance = 0;
    static inline VirtualMidiDataCallback lastCallback = nullptr;

    static VirtualMidiPortHandle TE_VM_CALL create(char16_t const* name, VirtualMidiDataCallback callback,
                                                   std::uintptr_t instance, std::uint32_t, std::uint32_t) {
        std::u16string const text(name);
        if (text.size() >= 8 && text.compare(text.size() - 8, 8, u" - SysEx") == 0) {
            return nullptr;
        }
        lastInstance = instance;
        lastCallback = callback;
        return reinterpret_cast<VirtualMidiPortHandle>(static_cast<std::uintptr_t>(++made));
    }
    static int TE_VM_CALL sendData(VirtualMidiPortHandle, std::uint8_t*, std::uint32_t) { return 0; }
    static int TE_VM_CALL shutdown(VirtualMidiPortHandle port) {
        ++shutdowns;
        auto* entry = reinterpret_cast<PortEntry*>(lastInstance);
        if (entry->closing.isSet() && entry->inFlight.load() == 0) {
            ++retiredAtShutdown;
        }
        std::uint8_t note[] = {0x90, 0x3C, 0x7F};
        lastCallback(port, note, 3, lastInstance);
        return 0;
    }
    static void TE_VM_CALL closePort(VirtualMidiPortHandle) {}

    static VirtualMidiDriver table() {
        made = shutdowns = retiredAtShutdown = 0;
        return VirtualMidiDriver{create, sendData, shutdown, closePort};
    }
};

}  // namespace

TEST_F(EngineTest, APortMadeBeforeItsPartnerFailedIsRetiredBeforeItIsClosed) {
    bus.plug("Synth");
    Recorded::chosen = {"Synth"};
    PortController::Dependencies d = dependencies();
    d.driver = RetirementCheckingDriver::table();
    controller = std::make_unique<PortController>(d);
    EXPECT_TRUE(controller->initialize(Recorded::hooks()));
    // The hardware entry's " - MIDI" port was made, its " - SysEx" port was not.
    EXPECT_EQ(RetirementCheckingDriver::shutdowns, 1);
    EXPECT_EQ(RetirementCheckingDriver::retiredAtShutdown, 1);
    EXPECT_EQ(controller->findEntry("Synth"), nullptr);
    EXPECT_EQ(bus.liveOutputs(), 1);  // only the enumeration connection is left
    EXPECT_EQ(Recorded::errors,
              (std::vector<std::string>{"Error: could not create the virtual MIDI port \"Synth - SysEx\"."}));
}

namespace {

int hookCalls = 0;

}  // namespace

TEST_F(EngineTest, OutOfMemoryInTheFirstTickDoesNotLeaveInitialize) {
    bus.plug("Synth");
    hookCalls = 0;
    PortController::Hooks hooks = Recorded::hooks();
    hooks.defaultPorts = [](std::vector<std::string>* names) {
        if (hookCalls++ == 0) {
            throw std::bad_alloc();  // as if building the list (or an entry) ran out of memory
        }
        names->push_back("Synth");
    };
    controller = std::make_unique<PortController>(dependencies());
    EXPECT_TRUE(controller->initialize(hooks));  // the tick was given up; the timer runs
    EXPECT_TRUE(serviceTimer().running());
    EXPECT_TRUE(published().empty());
    // The next tick starts afresh and does what the first could not.
    EXPECT_TRUE(tick());
    EXPECT_TRUE(enabled("Synth"));
}
