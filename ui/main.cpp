// The program's entry: strings, the hidden main window, the engine, then the message loop.
#include <windows.h>

#include "engine/PortController.h"
#include "settings/DefaultPortsStore.h"
#include "settings/SettingsKeyPath.h"
#include "ui/ErrorBox.h"
#include "ui/MainWindow.h"
#include "ui/ShellState.h"
#include "ui/resource.h"

ShellState& shell() {
    static ShellState state;
    return state;
}

namespace {

int runMessageLoop(HINSTANCE instance) {
    HACCEL const accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDC_TESSIVANE));
    MSG message = {};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (!TranslateAcceleratorA(message.hwnd, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    LoadStringW(instance, IDS_APP_TITLE, shell().windowTitle, 100);
    LoadStringW(instance, IDC_TESSIVANE, shell().windowClass, 100);
    // Before the engine starts: its first tick reads the stored choices under this key.
    LoadStringA(instance, IDS_SETTINGS_KEY, g_settingsKeyPath, kSettingsKeyPathSize);

    HWND const window = createMainWindow(instance);
    if (window == nullptr) {
        return 0;
    }
    PortController::Hooks hooks;
    hooks.error = showErrorBox;
    hooks.defaultPorts = loadDefaultPorts;
    if (!PortController::instance().initialize(hooks)) {
        return 0;
    }
    UpdateWindow(window);
    return runMessageLoop(instance);
}
