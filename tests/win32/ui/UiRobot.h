// Plays the user against the program's real windows inside the test process. The user-interface
// thread (the test's main thread) keeps pumping messages, so modal dialogs, menus and message
// boxes run as they do in the program; the robot runs on a thread of its own, finds those windows,
// reads them and clicks, types and closes them. Every wait is bounded: a window that never comes
// fails the test instead of hanging it.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/win32/ui/RealInput.h"

namespace robot {

// Runs `script` on a robot thread while this thread pumps messages (translating the program's
// accelerators as its message loop does) until the script has returned. Whatever the script left
// open is cancelled before this returns.
void play(std::function<void()> const& script);
// The same, but this thread runs `onUiThread` (which may block in a modal loop of its own).
void playWhile(std::function<void()> const& onUiThread, std::function<void()> const& script);

// Top-level windows of this process with that title (and class, when given), newest first.
std::vector<HWND> windowsTitled(char const* title, char const* className = nullptr);
// Waits up to `milliseconds` for a window; null if none came.
HWND waitForWindow(char const* title, char const* className = nullptr, int milliseconds = 10000);
HWND waitForMenu(int milliseconds = 10000);
// Waits until `condition` holds; false if it did not within the time.
bool waitUntil(std::function<bool()> const& condition, int milliseconds = 10000);
bool waitUntilGone(HWND window, int milliseconds = 10000);

// Runs `action` on the user-interface thread and waits for it (from a play's script). False, with
// the failure recorded, when that thread did not take it up within the time: it then never runs.
// Once taken up, it is waited for however long it takes, since it may refer to the caller's frame;
// so it must not block.
bool byUiThread(std::function<void()> const& action, int milliseconds = 10000);
// The cursor moved there, and there also a click of the left button, both made by the
// user-interface thread (see UiRobot.cpp for why).
void moveCursor(POINT screenPoint);
void click(POINT screenPoint);

// The focus window of the user-interface thread.
HWND focusOf(HWND window);

struct TreeItem {
    HTREEITEM handle = nullptr;
    std::string text;         // as the narrow-character tree gives it back
    std::wstring wideText;    // as the tree shows it
    UINT stateImage = 0;      // 1 unchecked, 2 checked
    LPARAM param = 0;
};
std::vector<TreeItem> treeItems(HWND tree);
TreeItem const* findItem(std::vector<TreeItem> const& items, std::string const& text);

// Posts `clicks` clicks (two make a double-click) at that point of the window, with the cursor
// there as they are posted; the messages carry that place. User-interface thread only (byUiThread).
void postClick(HWND window, POINT screenPoint, int clicks = 1);

// Clicks the check box of the item with this text, once or twice (a double-click), by messages
// posted to the tree while the cursor is over the box; the cursor then moves on to the next row
// before they are handled. Returns once they are handled, with the state image from before the
// click (0 when there is no such item, or when the box did not end toggled after one click and
// back after two; the failure is recorded).
UINT clickCheckBox(HWND tree, std::string const& text, int clicks = 1);

// Whether a dialog's client area measures width by height in its dialog units.
bool hasClientSize(HWND dialog, int width, int height);

// Menu items as shown: text, command id and state flags (MF_GRAYED, MF_CHECKED, MF_SEPARATOR).
struct MenuItem {
    std::string text;
    UINT id = 0;
    UINT flags = 0;
};
std::vector<MenuItem> menuItems(HWND menuWindow);

// Texts of a dialog's or message box's static controls (icons left out), in window order.
std::vector<std::string> staticTexts(HWND window);

}  // namespace robot
