#include "ui/MainWindow.h"

#include "engine/PortController.h"
#include "ui/ShellState.h"
#include "ui/resource.h"

namespace {

LRESULT onDestroy() {
    // No tick may run once the window is gone; the engine's ports live until process exit.
    PortController::instance().stopServiceTimer();
    PostQuitMessage(0);
    return 0;
}

LRESULT onPaint(HWND window) {
    // Nothing is drawn: the window is never shown. Validate so no further WM_PAINT is queued.
    ValidateRect(window, nullptr);
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
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
