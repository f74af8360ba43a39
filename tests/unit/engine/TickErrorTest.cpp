// Errors met by a tick reach the error box only once the tick has done everything else: the box
// blocks the tick's thread until it is dismissed, and the other outputs must play meanwhile.
#include "tests/unit/engine/EngineFixture.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace {

// The error box: records the text, then blocks until the test dismisses it.
struct BlockingErrorBox {
    static inline std::mutex mutex;
    static inline std::condition_variable changed;
    static inline std::vector<std::string> shown;
    static inline bool dismissed = false;

    static void reset() {
        std::lock_guard<std::mutex> lock(mutex);
        shown.clear();
        dismissed = false;
    }
    static void show(char const* text) {
        std::unique_lock<std::mutex> lock(mutex);
        shown.push_back(text);
        changed.notify_all();
        changed.wait(lock, [] { return dismissed; });
    }
    static void waitUntilShown() {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [] { return !shown.empty(); });
    }
    static void dismiss() {
        std::lock_guard<std::mutex> lock(mutex);
        dismissed = true;
        changed.notify_all();
    }
    static std::vector<std::string> texts() {
        std::lock_guard<std::mutex> lock(mutex);
        return shown;
    }
};

}  // namespace

TEST_F(EngineTest, ErrorsOfATickAreShownAfterTheOtherOutputsAreOpenPublishedAndAnnounced) {
    bus.plug("Keys");
    bus.plug("Synth");
    bus.plug("Drums");
    Recorded::chosen = {"Keys", "Synth", "Drums"};
    start();
    tick();
    ASSERT_TRUE(bus.isOpen("Keys") && bus.isOpen("Synth") && bus.isOpen("Drums"));
    int const notices = Recorded::notices;

    BlockingErrorBox::reset();
    PortController::Hooks hooks = Recorded::hooks();
    hooks.error = BlockingErrorBox::show;
    controller->installHooks(hooks);
    bus.failOpen("Keys", "Keys is used by another program");
    bus.failOpen("Drums", "Drums is used by another program");
    bus.plug("Pads");  // a change: every output is closed, then reopened where possible

    std::thread timerThread([&] { tick(); });
    BlockingErrorBox::waitUntilShown();
    // The first box is up and the tick is held in it. Everything it could do is done.
    EXPECT_EQ(BlockingErrorBox::texts(), (std::vector<std::string>{"Keys is used by another program"}));
    EXPECT_TRUE(bus.isOpen("Synth"));
    EXPECT_TRUE(enabled("Synth"));
    EXPECT_FALSE(enabled("Keys"));
    EXPECT_EQ(publishedNames(), (std::vector<std::string>{"Keys", "Synth", "Drums", "Pads"}));
    EXPECT_EQ(Recorded::notices, notices + 1);
    // And music played meanwhile reaches the output that could be reopened.
    ASSERT_TRUE(play(u"Synth - MIDI", {0x90, 0x3C, 0x7F}));
    EXPECT_EQ(bus.received("Synth").back(), (Bytes{0x90, 0x3C, 0x7F}));

    BlockingErrorBox::dismiss();
    timerThread.join();
    // Every text, in the order the tick met them.
    EXPECT_EQ(BlockingErrorBox::texts(), (std::vector<std::string>{"Keys is used by another program",
                                                                   "Drums is used by another program"}));
}

TEST_F(EngineTest, ErrorsOfARequestAreShownAfterThePublishToo) {
    bus.plug("Synth");
    start();
    tick();
    bus.failOpen("Synth", "busy");
    int const notices = Recorded::notices;
    static int noticesAtError = -1;
    static int const* noticeCount = &Recorded::notices;
    PortController::Hooks hooks = Recorded::hooks();
    hooks.error = [](char const* text) {
        noticesAtError = *noticeCount;
        Recorded::errors.push_back(text);
    };
    controller->installHooks(hooks);
    ASSERT_TRUE(controller->tryEnqueue(PortRequest{0, "Synth", true}));
    EXPECT_TRUE(tick());
    EXPECT_EQ(Recorded::errors, (std::vector<std::string>{"busy"}));
    EXPECT_EQ(noticesAtError, notices + 1);  // the dialog was told before the box came up
}
