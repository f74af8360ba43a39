#include "ui/MainWindow.h"

#include "engine/PortController.h"
#include "settings/LaunchOnStartup.h"
#include "ui/AboutDialog.h"
#include "ui/AppMessages.h"
#include "ui/ConfigureDialog.h"
#include "ui/ErrorBox.h"
#include "ui/ShareInputsDialog.h"
#include "ui/ShellState.h"
#include "ui/TrayIcon.h"
#include "ui/resource.h"

namespace {

LRESULT onDestroy() {
    shell().exiting = true;  // also when the window goes by another route than "Exit"
    // No tick may run once the window is gone; the engine's ports live until process exit.
    PortController::instance().stopServiceTimer();
    // No tick runs now to read it: from here on, error boxes have no owner, and those still
    // waiting to be shown are dropped.
    shell().mainWindow = nullptr;
    PostQuitMessage(0);
    return 0;
}

LRESULT onPaint(HWND window) {
    // Nothing is drawn: the window is never shown. Validating keeps an invalidated window from
    // asking again and again.
    ValidateRect(window, nullptr);
    return 0;
}

LRESULT onCommand(HWND window, WPARAM wParam, LPARAM lParam) {
    if (shell().exiting) {
        return 0;  // a command that arrives during the exit (a second "Exit" among them)
    }
    switch (LOWORD(wParam)) {
    case IDM_ABOUT:
        DialogBoxParamA(shell().instance, MAKEINTRESOURCEA(IDD_ABOUTBOX), window, aboutDialogProc, 0);
        return 0;
    case IDM_EXIT:
        shell().exiting = true;
        deleteTrayIcon();
        DestroyWindow(window);
        return 0;
    case IDM_CONFIGURE:
        openConfigureDialog(window);
        return 0;
    case IDM_SHARE_INPUTS:
        openShareInputsDialog(window);
        return 0;
    case IDM_LAUNCH_ON_STARTUP:
        toggleLaunchOnStartup();
        return 0;
    default:
        return DefWindowProcW(window, WM_COMMAND, wParam, lParam);
    }
}

LRESULT onTrayCallback(HWND window, LPARAM lParam) {
    if (shell().exiting) {
        return 0;
    }
    switch (LOWORD(lParam)) {
    case WM_LBUTTONDBLCLK:
        // Opens another dialog even while one is open, as "Configure..." would have done.
        openConfigureDialog(window);
        return 0;
    case WM_RBUTTONDOWN:
        showTrayMenu(window);
        return 1;
    default:
        return 0;  // a single click, a button release, a move: nothing
    }
}

LRESULT onTimer(HWND window, WPARAM timer, LPARAM lParam) {
    if (timer != kLaterErrorBoxesTimer) {
        return DefWindowProcW(window, WM_TIMER, timer, lParam);
    }
    // Not while a window of this thread holds the mouse (a click under way): the box's own loop
    // would run inside that window's tracking loop. The timer tries again.
    if (GetCapture() != nullptr) {
        return 0;
    }
    KillTimer(window, timer);
    showLaterErrorBoxes();
    return 0;
}

}  // namespace

HWND createMainWindow(HINSTANCE instance) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(WNDCLASSEXW);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_TESSIVANE));
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEW(IDC_TESSIVANE);
    windowClass.lpszClassName = shell().windowClass;
    windowClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SMALL));
    RegisterClassExW(&windowClass);  // a failure shows as the window not being created

    shell().instance = instance;
    shell().mainWindow = CreateWindowExW(0, shell().windowClass, shell().windowTitle,
                                         WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, 300, 200, nullptr,
                                         nullptr, instance, nullptr);
    return shell().mainWindow;
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY:
        return onDestroy();
    case WM_PAINT:
        return onPaint(window);
    case WM_COMMAND:
        return onCommand(window, wParam, lParam);
    case kTrayCallback:
        return onTrayCallback(window, lParam);
    case WM_TIMER:
        return onTimer(window, wParam, lParam);
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
