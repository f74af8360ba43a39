// The error box: what it shows and how, from the user-interface thread and the timer thread at once.
#include <thread>

#include "tests/win32/ui/UiFixture.h"
#include "tests/win32/ui/UiRobot.h"
#include "ui/ErrorBox.h"
#include "ui/ShellState.h"

namespace {

char const kTitle[] = "Velmora Tessivane Error";

BOOL CALLBACK findIcon(HWND child, LPARAM lParam) {
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        *reinterpret_cast<HICON*>(lParam) = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        return FALSE;
    }
    return TRUE;
}

HWND boxSaying(std::string const& text) {
    for (HWND box : robot::windowsTitled(kTitle, "#32770")) {
        std::vector<std::string> const texts = robot::staticTexts(box);
        if (!texts.empty() && texts.front() == text) return box;
    }
    return nullptr;
}

void expectErrorBox(HWND box) {
    // Owned by the main window, a warning with one OK button.
    EXPECT_EQ(GetWindow(box, GW_OWNER), mainWindow());
    EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
    EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr);
    EXPECT_EQ(GetDlgItem(box, IDYES), nullptr);
    HICON icon = nullptr;
    EnumChildWindows(box, findIcon, reinterpret_cast<LPARAM>(&icon));
    EXPECT_EQ(icon, LoadIconA(nullptr, IDI_WARNING));
}

}  // namespace

TEST(ErrorBox, OneFromTheTimerThreadAndOneFromTheUserInterfaceThreadAtOnce) {
    std::string const fromTimer = "Error: could not start MIDI thread.";
    std::string const fromUi = "Error: could not process MIDI port disable request.";
    std::thread timerThread;
    robot::playWhile(
        [&] {
            // Blocks this thread until the robot dismisses it; the timer thread's box is up too.
            showErrorBox(fromUi.c_str());
        },
        [&] {
            timerThread = std::thread([&] { showErrorBox(fromTimer.c_str()); });
            ASSERT_TRUE(robot::waitUntil([&] { return robot::windowsTitled(kTitle, "#32770").size() == 2; }));
            HWND const timerBox = boxSaying(fromTimer);
            HWND const uiBox = boxSaying(fromUi);
            ASSERT_NE(timerBox, nullptr);
            ASSERT_NE(uiBox, nullptr);
            EXPECT_NE(GetWindowThreadProcessId(timerBox, nullptr), GetWindowThreadProcessId(uiBox, nullptr));
            expectErrorBox(timerBox);
            expectErrorBox(uiBox);
            // The text is shown exactly as given, nothing added.
            char text[256] = {};
            GetDlgItemTextA(uiBox, 0xFFFF, text, sizeof text);
            EXPECT_EQ(text, fromUi);
            PostMessageW(uiBox, WM_COMMAND, IDOK, 0);
            EXPECT_TRUE(robot::waitUntilGone(uiBox));
            PostMessageW(timerBox, WM_COMMAND, IDOK, 0);
            EXPECT_TRUE(robot::waitUntilGone(timerBox));
        });
    timerThread.join();
}

TEST(ErrorBox, TextsStillWaitingWhenTheExitBeginsAreDropped) {
    robot::play([] {
        robot::byUiThread([] {
            showErrorBoxLater("Error: could not process MIDI port disable request.");
            shell().exiting = true;  // as "Exit" sets it
            showLaterErrorBoxes();   // returns at once: no box keeps the process after its exit
            shell().exiting = false;
        });
        EXPECT_TRUE(robot::windowsTitled(kTitle, "#32770").empty());
    });
}
