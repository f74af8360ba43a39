#include "ui/ErrorBox.h"

#include <windows.h>

#include <string>
#include <vector>

#include "ui/AppMessages.h"
#include "ui/ShellState.h"

namespace {

// Kept apart from any window, so that a box survives the dialog whose click raised it.
std::vector<std::string>& laterTexts() {
    static std::vector<std::string> texts;
    return texts;
}

bool ownedBy(HWND window, HWND owner) {
    for (HWND up = GetWindow(window, GW_OWNER); up != nullptr; up = GetWindow(up, GW_OWNER)) {
        if (up == owner) {
            return true;
        }
    }
    return false;
}

struct FrontWindowSearch {
    HWND mainWindow;
    HWND found;
};

BOOL CALLBACK findFrontWindow(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<FrontWindowSearch*>(lParam);
    if (IsWindowVisible(window) && IsWindowEnabled(window) && ownedBy(window, search->mainWindow)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The window a box goes over. On the main window's thread: the front-most enabled window that the
// main window owns, directly or through another (a dialog, or a box over a dialog), so that no
// window in use stays usable beneath the box; each modal window disables its own owner. The main
// window when none is open, and on any other thread, whose box must not disable the windows of
// this one.
HWND boxOwner() {
    HWND const mainWindow = shell().mainWindow;
    if (mainWindow == nullptr ||
        GetWindowThreadProcessId(mainWindow, nullptr) != GetCurrentThreadId()) {
        return mainWindow;
    }
    // This thread's windows, front to back.
    FrontWindowSearch search = {mainWindow, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), findFrontWindow, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr ? search.found : mainWindow;
}

}  // namespace

void showErrorBox(char const* text) {
    UINT const kStyle = MB_OK | MB_ICONWARNING | MB_TASKMODAL | MB_SETFOREGROUND | MB_TOPMOST;
    static_assert(kStyle == 0x00052030, "the error box's flags");
    MessageBoxA(boxOwner(), text, "Velmora Tessivane Error", kStyle);
}

void showErrorBoxLater(char const* text) {
    if (shell().exiting) {
        return;
    }
    laterTexts().emplace_back(text);
    // A timer rather than a posted message: a modal loop that ends as its window goes drops the
    // message it has just taken, and a timer fires again.
    if (shell().mainWindow != nullptr) {
        SetTimer(shell().mainWindow, kLaterErrorBoxesTimer, USER_TIMER_MINIMUM, nullptr);
    }
}

void showLaterErrorBoxes() {
    // Taken out first: a box's own message loop may bring the next request to show them.
    std::vector<std::string> texts;
    texts.swap(laterTexts());
    for (std::string const& text : texts) {
        // Dropped once the exit has begun (while an earlier box was up, say): a box would keep the
        // process, with no icon and every port still published, until someone dismissed it.
        if (shell().exiting) {
            return;
        }
        showErrorBox(text.c_str());
    }
}
