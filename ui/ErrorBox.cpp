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

}  // namespace

void showErrorBox(char const* text) {
    UINT const kStyle = MB_OK | MB_ICONWARNING | MB_TASKMODAL | MB_SETFOREGROUND | MB_TOPMOST;
    static_assert(kStyle == 0x00052030, "the error box's flags");
    MessageBoxA(shell().mainWindow, text, "Velmora Tessivane Error", kStyle);
}

void showErrorBoxLater(char const* text) {
    laterTexts().emplace_back(text);
    // A timer rather than a posted message: a modal loop that ends as its window goes drops the
    // message it has just taken, and a timer fires again. Without the window (it is gone, or
    // goes first) the entry shows the box after its message loop.
    if (shell().mainWindow != nullptr) {
        SetTimer(shell().mainWindow, kLaterErrorBoxesTimer, USER_TIMER_MINIMUM, nullptr);
    }
}

void showLaterErrorBoxes() {
    // Taken out first: a box's own message loop may bring the next request to show them.
    std::vector<std::string> texts;
    texts.swap(laterTexts());
    for (std::string const& text : texts) {
        showErrorBox(text.c_str());
    }
}
