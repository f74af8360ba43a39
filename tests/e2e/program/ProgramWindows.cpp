// Drives a running tessivane.exe (or the UI test harness) from outside, the way Windows and the
// user would. Exit code 0 when the window it needs was found and the action was taken.
//   close              WM_CLOSE to the hidden main window (logoff, a task manager)
//   exit               the tray menu's "Exit" (command 105)
//   configure          the tray menu's "Configure..." (command 202)
//   share-inputs       the tray menu's "Share inputs..." (command 205)
//   about              the class menu's "About ..." (command 104)
//   exists             only tells whether the main window is there
//   window TITLE       only tells whether a top-level window with this title is there
//   rect TITLE         prints that window's screen rectangle: left top width height
//   menu-rect          prints the open popup menu's screen rectangle
//   accelerator C      Alt with character C on the keyboard (to the window that has the focus)
//   tray-menu X Y      the cursor to X,Y, then a right click on the tray icon
//   escape             the Esc key, to whichever window has the keyboard
//   error-text         prints the text of the error box, leaves it open
//   dismiss-error      prints the text of the error box and presses OK
//   dismiss-about      prints the About box's texts and presses OK
//   tray-double-click  a double-click on the tray icon, sent as the notification area sends it
//   tray-right-click   a right click on the tray icon, sent the same way
//   send-command N     WM_COMMAND N sent the same way (a window's own way to reach the program)
//   box-state          prints the state image of the Configure dialog's first item (1 clear, 2 ticked)
//   plug-later         the UI harness plugs its TESSIVANE_HARNESS_LATER outputs
//   fill-queue         the UI harness holds its ticks and fills the request queue
//   release-ticks      the UI harness lets its ticks run again
//   click-box          the UI harness clicks the first check box of its Configure dialog
//   hold-capture       the UI harness's Configure tree takes the mouse capture
//   release-capture    the UI harness lets the capture go
//   published-count    prints how many outputs the UI harness's engine has published
//   error-later        the UI harness keeps an error box for the main window's timer to show
//   slow-opens         prints how many slow opens the UI harness has begun
//   sync               returns once the UI harness's user-interface thread has handled the
//                      messages sent to it before (sent messages are handled in order)
//   capture-timers W   prints how many timer messages of W ("box": the main window's error-box
//                      timer, "tree": the Configure tree's rebuild) the UI harness has seen
//                      come since hold-capture, while the capture was held
//   item-count         prints how many items the Configure dialog's tree shows
//   notification-area  plays the notification area until it is killed: prints "ready", then
//                      "icon" for every icon that a program adds, changes or deletes
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/win32/ui/harness/HarnessControl.h"

namespace {

UINT const kTrayCallback = WM_USER + 1;
WPARAM const kTrayIconId = 107;
WPARAM const kExit = 105;
WPARAM const kConfigure = 202;
WPARAM const kShareInputs = 205;
WPARAM const kAbout = 104;

HWND mainWindow() { return FindWindowW(L"TESSIVANE", nullptr); }

int post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window == nullptr) {
        return 1;
    }
    return PostMessageW(window, message, wParam, lParam) ? 0 : 2;
}

// The texts of a dialog's static controls, one line each.
BOOL CALLBACK collectText(HWND child, LPARAM lParam) {
    char className[32] = {};
    GetClassNameA(child, className, sizeof className);
    bool const isIcon = (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
    if (std::strcmp(className, "Static") == 0 && !isIcon) {
        char text[512] = {};
        GetWindowTextA(child, text, sizeof text);
        if (text[0] != '\0') {
            reinterpret_cast<std::string*>(lParam)->append(text).append("\n");
        }
    }
    return TRUE;
}

int dismiss(char const* title) {
    HWND const box = FindWindowA(nullptr, title);
    if (box == nullptr) {
        return 1;
    }
    std::string texts;
    EnumChildWindows(box, collectText, reinterpret_cast<LPARAM>(&texts));
    std::printf("%s", texts.c_str());
    return post(box, WM_COMMAND, IDOK, 0);
}

int errorText() {
    HWND const box = FindWindowA(nullptr, "Velmora Tessivane Error");
    if (box == nullptr) {
        return 1;
    }
    char text[512] = {};
    // A message box shows its text in a static control with id 0xFFFF.
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    std::printf("%s\n", text);
    return 0;
}

// Types Alt with a character on the keyboard, into whichever window has the keyboard focus: the
// keys a person presses, Shift included where the layout needs it.
int altCharacter(char character) {
    SHORT const scan = VkKeyScanA(character);
    if (scan == -1) {
        return 2;
    }
    WORD const key = LOBYTE(scan);
    bool const shift = (HIBYTE(scan) & 1) != 0;
    INPUT keys[6] = {};
    int count = 0;
    auto press = [&](WORD virtualKey, bool up) {
        keys[count].type = INPUT_KEYBOARD;
        keys[count].ki.wVk = virtualKey;
        keys[count].ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        ++count;
    };
    press(VK_MENU, false);
    if (shift) press(VK_SHIFT, false);
    press(key, false);
    press(key, true);
    if (shift) press(VK_SHIFT, true);
    press(VK_MENU, true);
    return SendInput(count, keys, sizeof(INPUT)) == static_cast<UINT>(count) ? 0 : 2;
}

int trayMenu(int x, int y) {
    SetCursorPos(x, y);
    return post(mainWindow(), kTrayCallback, kTrayIconId, WM_RBUTTONDOWN);
}

// Sent, not posted, and without waiting for the answer: the notification area's way.
int trayClick(LPARAM mouseMessage) {
    HWND const window = mainWindow();
    return window != nullptr && SendNotifyMessageW(window, kTrayCallback, kTrayIconId, mouseMessage) ? 0 : 1;
}

int sendCommand(WPARAM command) {
    HWND const window = mainWindow();
    return window != nullptr && SendNotifyMessageW(window, WM_COMMAND, command, 0) ? 0 : 1;
}

HWND configureTree() {
    HWND const dialog = FindWindowA("#32770", "Velmora Tessivane");
    return dialog ? FindWindowExA(dialog, nullptr, "SysTreeView32", nullptr) : nullptr;
}

int itemCount() {
    HWND const tree = configureTree();
    if (tree == nullptr) {
        return 1;
    }
    std::printf("%d\n", static_cast<int>(SendMessageW(tree, TVM_GETCOUNT, 0, 0)));
    return 0;
}

// Sends a question to the UI harness and prints its answer.
int askHarness(UINT message, WPARAM wParam = 0) {
    DWORD_PTR answer = 0;
    HWND const control = FindWindowW(kHarnessControlClass, nullptr);
    if (control == nullptr ||
        !SendMessageTimeoutW(control, message, wParam, 0, SMTO_NORMAL, 5000, &answer)) {
        return 1;
    }
    std::printf("%d\n", static_cast<int>(answer));
    return 0;
}

int timersUnderCapture(std::string const& which) {
    if (which != "box" && which != "tree") {
        return 3;
    }
    return askHarness(kTimersUnderCapture, which == "box" ? kMainWindowTimer : kTreeRebuildTimer);
}

int boxState() {
    HWND const tree = configureTree();
    LRESULT const item = tree ? SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0) : 0;
    if (item == 0) {
        return 1;
    }
    LRESULT const state = SendMessageW(tree, TVM_GETITEMSTATE, item, TVIS_STATEIMAGEMASK);
    std::printf("%d\n", static_cast<int>((state & TVIS_STATEIMAGEMASK) >> 12));
    return 0;
}

int toHarness(UINT message) { return post(FindWindowW(kHarnessControlClass, nullptr), message, 0, 0); }

int escape() {
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = VK_ESCAPE;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    return SendInput(2, keys, sizeof(INPUT)) == 2 ? 0 : 2;
}

int printRect(HWND window) {
    RECT rect = {};
    if (window == nullptr || !GetWindowRect(window, &rect)) {
        return 1;
    }
    std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    return 0;
}

LRESULT CALLBACK notificationAreaProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Shell_NotifyIcon hands every icon message to the notification area as WM_COPYDATA.
    if (message == WM_COPYDATA) {
        std::printf("icon\n");
        std::fflush(stdout);
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int notificationArea() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = notificationAreaProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"Shell_TrayWnd";
    RegisterClassW(&windowClass);
    // Topmost and newer than Wine's own, so that it is the one Shell_NotifyIcon finds.
    HWND const area = CreateWindowExW(WS_EX_TOPMOST, windowClass.lpszClassName, L"", WS_POPUP, 0, 0,
                                      0, 0, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (area == nullptr ||
        FindWindowExW(nullptr, nullptr, windowClass.lpszClassName, nullptr) != area) {
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string const command = argc > 1 ? argv[1] : "close";
    if (command == "close") return post(mainWindow(), WM_CLOSE, 0, 0);
    if (command == "exit") return post(mainWindow(), WM_COMMAND, kExit, 0);
    if (command == "configure") return post(mainWindow(), WM_COMMAND, kConfigure, 0);
    if (command == "share-inputs") return post(mainWindow(), WM_COMMAND, kShareInputs, 0);
    if (command == "about") return post(mainWindow(), WM_COMMAND, kAbout, 0);
    if (command == "rect" && argc > 2) return printRect(FindWindowA(nullptr, argv[2]));
    if (command == "menu-rect") return printRect(FindWindowA("#32768", nullptr));
    if (command == "exists") return mainWindow() != nullptr ? 0 : 1;
    if (command == "window" && argc > 2) return FindWindowA(nullptr, argv[2]) != nullptr ? 0 : 1;
    if (command == "accelerator" && argc > 2) return altCharacter(argv[2][0]);
    if (command == "tray-menu" && argc > 3) return trayMenu(std::atoi(argv[2]), std::atoi(argv[3]));
    if (command == "escape") return escape();
    if (command == "error-text") return errorText();
    if (command == "dismiss-error") return dismiss("Velmora Tessivane Error");
    if (command == "dismiss-about") return dismiss("About Velmora Tessivane");
    if (command == "tray-double-click") return trayClick(WM_LBUTTONDBLCLK);
    if (command == "tray-right-click") return trayClick(WM_RBUTTONDOWN);
    if (command == "send-command" && argc > 2) {
        return sendCommand(std::strtoul(argv[2], nullptr, 10));
    }
    if (command == "box-state") return boxState();
    if (command == "plug-later") return toHarness(kPlugLater);
    if (command == "fill-queue") return toHarness(kFillQueue);
    if (command == "release-ticks") return toHarness(kReleaseTicks);
    if (command == "click-box") return toHarness(kClickFirstBox);
    if (command == "hold-capture") return toHarness(kHoldTreeCapture);
    if (command == "release-capture") return toHarness(kReleaseCapture);
    if (command == "published-count") return askHarness(kPublishedCount);
    if (command == "error-later") return toHarness(kErrorBoxLater);
    if (command == "slow-opens") return askHarness(kSlowOpensBegun);
    if (command == "sync") return askHarness(WM_NULL);
    if (command == "capture-timers" && argc > 2) return timersUnderCapture(argv[2]);
    if (command == "item-count") return itemCount();
    if (command == "notification-area") return notificationArea();
    std::fprintf(stderr, "usage: program-windows close|exit|configure|share-inputs|about|exists|window TITLE|rect TITLE|"
                         "menu-rect|accelerator C|"
                         "tray-menu X Y|escape|error-text|dismiss-error|dismiss-about|tray-double-click|"
                         "tray-right-click|send-command N|box-state|plug-later|fill-queue|"
                         "release-ticks|click-box|hold-capture|release-capture|published-count|"
                         "error-later|capture-timers box/tree|slow-opens|sync|item-count|"
                         "notification-area\n");
    return 3;
}
