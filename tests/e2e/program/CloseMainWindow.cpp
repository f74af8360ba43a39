// Asks a running tessivane.exe to end the way Windows does at logoff or from a task manager:
// WM_CLOSE to its hidden main window. With --exists it only tells whether that window is there.
// Exit code 0 when the window was found.
#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
    HWND const window = FindWindowW(L"TESSIVANE", nullptr);
    if (window == nullptr) {
        return 1;
    }
    if (argc > 1 && std::strcmp(argv[1], "--exists") == 0) {
        return 0;
    }
    return PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 2;
}
