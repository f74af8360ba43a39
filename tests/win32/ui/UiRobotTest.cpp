// The robot itself, where a fault of its own would corrupt the tests that use it.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/win32/ui/UiRobot.h"

// An action may refer to the caller's frame (a lambda capturing by reference): byUiThread must
// not return while it still runs, even past its time.
TEST(Robot, ByUiThreadReturnsOnlyOnceItsActionIsOver) {
    robot::play([] {
        bool over = false;
        EXPECT_TRUE(robot::byUiThread([&] { Sleep(300); over = true; }, 100));
        EXPECT_TRUE(over);
    });
}
