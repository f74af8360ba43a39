// The engine's timer thread loads the stored names while the user-interface thread adds and
// removes them. Built with cJSON compiled in, so that ThreadSanitizer sees inside the parser too
// (its process-wide error record is written on every parse).
#include "settings/DefaultPortsDocument.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

TEST(ConcurrentDocument, LoadingWhileAddingAndRemovingIsRaceFree) {
    std::string const stored = R"({"ports":["USB MIDI Interface","Synth Module"]})";
    std::atomic<bool> stop{false};
    std::thread timerThread([&] {
        while (!stop.load()) {
            ASSERT_EQ(storedPortNames(stored.c_str()).size(), 2u);
            ASSERT_TRUE(storedPortNames("not json").empty());
        }
    });
    for (int i = 0; i < 2000; ++i) {
        ASSERT_TRUE(textAfterAddingPort(stored.c_str(), "Drums"));
        ASSERT_TRUE(textAfterRemovingPort(stored.c_str(), "Synth Module"));
        ASSERT_TRUE(textAfterAddingPort("{\"ports\":[", "Drums"));  // not JSON: a failed parse
    }
    stop = true;
    timerThread.join();
}
