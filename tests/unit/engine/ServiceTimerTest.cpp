// The service timer's record against a stand-in multimedia timer.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/ServiceTimer.h"
#include "tests/unit/engine/FakeTimer.h"

namespace {

std::uint32_t lastElapsed = 0;
int ticks = 0;
bool countTick(std::uint32_t elapsed, std::uintptr_t) {
    lastElapsed = elapsed;
    ++ticks;
    return false;
}

class ServiceTimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        FakeTimer::reset();
        ticks = 0;
    }
    void TearDown() override { serviceTimer().stop(); }
};

}  // namespace

TEST_F(ServiceTimerTest, StartRunsTicksWithElapsedTimeAndStopEndsThem) {
    ASSERT_TRUE(serviceTimer().start(FakeTimer::api(), countTick));
    EXPECT_EQ(FakeTimer::begins, 1);
    EXPECT_EQ(FakeTimer::sets, 1);
    EXPECT_EQ(serviceTimer().timerId(), 7u);
    FakeTimer::now = 1250;
    FakeTimer::fire();
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(lastElapsed, 250u);

    serviceTimer().stop();
    EXPECT_EQ(FakeTimer::kills, 1);
    EXPECT_EQ(FakeTimer::ends, 1);
    EXPECT_FALSE(serviceTimer().running());
    // An event already under way when the timer was killed finds no tick function.
    FakeTimer::fire();
    EXPECT_EQ(ticks, 1);
}

TEST_F(ServiceTimerTest, StartWhileRunningFailsAndStopTwiceDoesNothing) {
    ASSERT_TRUE(serviceTimer().start(FakeTimer::api(), countTick));
    EXPECT_FALSE(serviceTimer().start(FakeTimer::api(), countTick));
    EXPECT_EQ(FakeTimer::begins, 1);
    EXPECT_EQ(FakeTimer::sets, 1);
    serviceTimer().stop();
    serviceTimer().stop();
    EXPECT_EQ(FakeTimer::ends, 1);
    EXPECT_EQ(FakeTimer::kills, 1);
}

TEST_F(ServiceTimerTest, FailedEventStaysRunningUntilStopWhichEndsThePeriodOnce) {
    FakeTimer::nextId = 0;
    EXPECT_FALSE(serviceTimer().start(FakeTimer::api(), countTick));
    EXPECT_TRUE(serviceTimer().running());
    serviceTimer().stop();
    EXPECT_EQ(FakeTimer::kills, 0);  // there was no event to kill
    EXPECT_EQ(FakeTimer::ends, 1);
    serviceTimer().stop();
    EXPECT_EQ(FakeTimer::ends, 1);
}

TEST_F(ServiceTimerTest, ElapsedTimeWrapsInUnsigned32Bits) {
    FakeTimer::now = 0xFFFFFFF0u;
    ASSERT_TRUE(serviceTimer().start(FakeTimer::api(), countTick));
    FakeTimer::now = 0x10;
    FakeTimer::fire();
    EXPECT_EQ(lastElapsed, 0x20u);
}

namespace {

std::atomic<bool> tickEntered{false};
std::atomic<bool> releaseTick{false};
bool blockingTick(std::uint32_t, std::uintptr_t) {
    tickEntered = true;
    while (!releaseTick.load()) std::this_thread::yield();
    return false;
}

bool stoppingTick(std::uint32_t, std::uintptr_t) {
    serviceTimer().stop();
    ++ticks;
    return false;
}

}  // namespace

TEST_F(ServiceTimerTest, StopWaitsForATickInProgressAndServesTheWaitingThreadMeanwhile) {
    tickEntered = false;
    releaseTick = false;
    ASSERT_TRUE(serviceTimer().start(FakeTimer::api(), blockingTick));
    std::thread timerThread([] { FakeTimer::fire(); });
    while (!tickEntered.load()) std::this_thread::yield();

    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        serviceTimer().stop();
        stopped = true;
    });
    // The stop is under way: it keeps serving the waiting thread and does not return.
    while (FakeTimer::serves.load() < 100) std::this_thread::yield();
    EXPECT_FALSE(stopped.load());
    EXPECT_TRUE(serviceTimer().running());

    releaseTick = true;
    stopper.join();
    timerThread.join();
    EXPECT_TRUE(stopped.load());
    EXPECT_FALSE(serviceTimer().running());
    EXPECT_EQ(FakeTimer::ends, 1);
}

TEST_F(ServiceTimerTest, StopFromInsideATickDoesNotWaitForItself) {
    ASSERT_TRUE(serviceTimer().start(FakeTimer::api(), stoppingTick));
    FakeTimer::fire();  // would never return if the stop waited for the tick it runs in
    EXPECT_EQ(ticks, 1);
    EXPECT_FALSE(serviceTimer().running());
    EXPECT_EQ(FakeTimer::ends, 1);
    FakeTimer::fire();
    EXPECT_EQ(ticks, 1);
}
