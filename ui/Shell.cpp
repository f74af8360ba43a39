#include "ui/Shell.h"

#include <exception>

#include "program_state/win32/PublishedState.h"
#include "settings/DefaultPortsStore.h"
#include "settings/SharedInputsStore.h"
#include "settings/SettingsKeyPath.h"
#include "ui/ConfigureDialog.h"
#include "ui/ErrorBox.h"
#include "ui/MainWindow.h"
#include "ui/ShareInputsDialog.h"
#include "ui/ShellState.h"
#include "ui/StartRequirement.h"
#include "ui/TrayIcon.h"
#include "ui/resource.h"

namespace {

int runMessageLoop(HINSTANCE instance) {
    HACCEL const accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDC_TESSIVANE));
    MSG message = {};
    BOOL result;
    while ((result = GetMessageA(&message, nullptr, 0, 0)) != 0) {
        if (result == -1) {
            return 0;  // the loop itself failed; nothing more will arrive
        }
        // The message's own window: Alt+? and Alt+/ reach whichever of our windows has the key.
        if (!TranslateAcceleratorA(message.hwnd, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

bool startEngine() {
    // Nothing may escape into the system's start-up code: a failed start ends the program quietly
    // with code 0, after the engine has reported what it could.
    try {
        return PortController::instance().initialize(engineHooks());
    } catch (...) {
        return false;
    }
}

}  // namespace

PortController::Hooks engineHooks() {
    PortController::Hooks hooks;
    hooks.portsChanged = notifyPortsChanged;
    hooks.error = showErrorBox;
    hooks.defaultPorts = loadDefaultPorts;
    hooks.inputsChanged = notifyInputsChanged;
    hooks.sharedInputs = loadSharedInputs;
    // What the engine holds, for the diagnostics tool.
    hooks.stateChanged = publishProgramState;
    return hooks;
}

int runTessivane(HINSTANCE instance) {
    if (!codePageLetsTessivaneStart(GetACP())) {
        showErrorBox(codePageRequirementText(GetACP()).c_str());
        return 0;
    }
    LoadStringW(instance, IDS_APP_TITLE, shell().windowTitle, 100);
    LoadStringW(instance, IDC_TESSIVANE, shell().windowClass, 100);
    // Before the engine starts: its first tick reads the stored choices under this key.
    LoadStringA(instance, IDS_SETTINGS_KEY, g_settingsKeyPath, kSettingsKeyPathSize);

    HWND const window = createMainWindow(instance);
    if (window == nullptr) {
        return 0;
    }
    if (!startEngine()) {
        return 0;
    }
    addTrayIcon();
    UpdateWindow(window);
    // Error boxes still waiting are dropped: after "Exit" nothing may keep the process.
    return runMessageLoop(instance);
}
