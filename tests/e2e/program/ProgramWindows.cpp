// Drives a running tessivane.exe from outside, the way Windows and the user would:
//   close          WM_CLOSE to its hidden main window (logoff, a task manager)
//   exists         only tells whether the main window is there
//   dismiss-error  prints the text of its error box and presses OK
// Exit code 0 when the window was found.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

int closeMainWindow(bool onlyLook) {
    HWND const window = FindWindowW(L"TESSIVANE", nullptr);
    if (window == nullptr) {
        return 1;
    }
    if (onlyLook) {
        return 0;
    }
    return PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 2;
}

int dismissErrorBox() {
    HWND const box = FindWindowA(nullptr, "Velmora Tessivane Error");
    if (box == nullptr) {
        return 1;
    }
    char text[512] = {};
    // A message box shows its text in a static control with id 0xFFFF.
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    std::printf("%s\n", text);
    return PostMessageW(box, WM_COMMAND, IDOK, 0) ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    char const* command = argc > 1 ? argv[1] : "close";
    if (std::strcmp(command, "close") == 0) return closeMainWindow(false);
    if (std::strcmp(command, "exists") == 0) return closeMainWindow(true);
    if (std::strcmp(command, "dismiss-error") == 0) return dismissErrorBox();
    std::fprintf(stderr, "usage: program-windows close|exists|dismiss-error\n");
    return 3;
}
