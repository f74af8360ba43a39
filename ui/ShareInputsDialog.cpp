#include "ui/ShareInputsDialog.h"

#include <commctrl.h>

#include <atomic>
#include <exception>
#include <vector>

#include "engine/EngineTexts.h"
#include "engine/PortController.h"
#include "midi_services/win32/MidiServicesRegistry.h"
#include "settings/SharedInputsStore.h"
#include "ui/AppMessages.h"
#include "ui/CheckBoxTree.h"
#include "ui/DeviceTree.h"
#include "ui/ErrorBox.h"
#include "ui/ShellState.h"
#include "ui/resource.h"

namespace {

// Written on the user-interface thread, read by the timer thread in notifyInputsChanged: the
// release here pairs with the acquire there, so the dialog it names is fully made.
std::atomic<HWND> openDialog{nullptr};

char const kSharedByServices[] =
    "Windows MIDI Services shares every input itself: sharing is not needed.";
char const kSomeSharedByServices[] =
    "Windows MIDI Services shares inputs on its own driver; share the others here.";

// The tree, and how much of the dialog it takes: below the line on Windows MIDI Services when
// that line shows (dialog units).
RECT const kTreeBounds = {10, 20, 290, 112};
RECT const kTreeBoundsBelowNote = {10, 32, 290, 112};

void fillFromEngine(HWND tree) {
    try {
        std::vector<PublishedInputInfo> const records = PortController::instance().publishedInputs();
        fillDeviceTree(tree, records.data(), records.size(), nullptr);
    } catch (std::exception const&) {
    }
}

// A click on an input's box: asks the engine to share the input or to stop, and stores the choice.
void onInputClicked(CheckBoxClick const& click) {
    if (!PortController::instance().tryEnqueueInput(PortRequest{click.id, click.text, click.ticks})) {
        // Not from inside this notification (see the Configure dialog).
        showErrorBoxLater(kErrorInputRequestRefused);
    }
    if (click.ticks) {
        addSharedInput(click.text.c_str());
    } else {
        removeSharedInput(click.text.c_str());
    }
}

CheckBoxTree const kInputTree = {IDC_INPUT_TREE, fillFromEngine, onInputClicked};

// The line above the tree, when Windows MIDI Services shares devices itself (read from the
// registry: no service is started). Null when it does not.
char const* servicesNote() {
    switch (windowsMidiServicesMode()) {
    case MidiServicesMode::Full:
        return kSharedByServices;
    case MidiServicesMode::Hybrid:
        return kSomeSharedByServices;
    default:
        return nullptr;
    }
}

INT_PTR onInitDialog(HWND dialog) {
    char const* note = servicesNote();
    if (note != nullptr) {
        SetDlgItemTextA(dialog, IDC_SERVICES_NOTE, note);
        ShowWindow(GetDlgItem(dialog, IDC_SERVICES_NOTE), SW_SHOW);
    }
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_TREEVIEW_CLASSES;
    if (!InitCommonControlsEx(&controls)) {
        return FALSE;
    }
    HWND const tree = createDeviceTree(dialog, note != nullptr ? kTreeBoundsBelowNote : kTreeBounds,
                                       IDC_INPUT_TREE, "MIDI Inputs");
    if (tree == nullptr) {
        return FALSE;  // the dialog still opens, with its texts and OK button only
    }
    fillFromEngine(tree);
    ShowWindow(tree, SW_SHOW);
    openDialog.store(dialog, std::memory_order_release);
    return TRUE;
}

INT_PTR onCommand(HWND dialog, WPARAM wParam) {
    WORD const command = LOWORD(wParam);
    if (command != IDOK && command != IDCANCEL) {
        return FALSE;
    }
    openDialog.store(nullptr, std::memory_order_release);
    EndDialog(dialog, command);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK shareInputsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog(dialog);
    case WM_COMMAND:
        return onCommand(dialog, wParam);
    case kInputsChanged:
        return rebuildCheckBoxTree(kInputTree, dialog);
    case WM_TIMER:
        return wParam == kCheckBoxTreeRebuildTimer ? rebuildCheckBoxTree(kInputTree, dialog) : FALSE;
    case WM_NOTIFY:
        return lParam != 0 ? onCheckBoxTreeNotify(kInputTree, *reinterpret_cast<NMHDR const*>(lParam))
                           : FALSE;
    case WM_DESTROY: {
        HWND expected = dialog;
        openDialog.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
        return FALSE;
    }
    default:
        return FALSE;
    }
}

void openShareInputsDialog(HWND owner) {
    DialogBoxParamA(shell().instance, MAKEINTRESOURCEA(IDD_SHARE_INPUTS), owner,
                    shareInputsDialogProc, 0);
}

HWND shareInputsDialogHandle() { return openDialog.load(std::memory_order_acquire); }

void notifyInputsChanged() {
    if (HWND const dialog = openDialog.load(std::memory_order_acquire)) {
        PostMessageA(dialog, kInputsChanged, 0, 0);
    }
}
