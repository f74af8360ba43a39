#include "ui/ConfigureDialog.h"

#include <commctrl.h>

#include <atomic>
#include <exception>
#include <vector>

#include "engine/EngineTexts.h"
#include "engine/PortController.h"
#include "settings/DefaultPortsStore.h"
#include "ui/AppMessages.h"
#include "ui/CheckBoxTree.h"
#include "ui/ErrorBox.h"
#include "ui/DeviceTree.h"
#include "ui/ShellState.h"
#include "ui/resource.h"

namespace {

// Written on the user-interface thread, read by the timer thread in notifyPortsChanged: the
// release here pairs with the acquire there, so the dialog it names is fully made.
std::atomic<HWND> openDialog{nullptr};

// Refills the tree from the engine's published list. If the list cannot be copied (out of
// memory), the tree keeps what it shows: nothing may leave the dialog procedure.
void fillFromEngine(HWND tree) {
    try {
        std::vector<PublishedOutputInfo> const records = PortController::instance().publishedOutputs();
        fillOutputTree(tree, records.data(), records.size());
    } catch (std::exception const&) {
    }
}

INT_PTR onInitDialog(HWND dialog) {
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_TREEVIEW_CLASSES;
    if (!InitCommonControlsEx(&controls)) {
        return FALSE;
    }
    HWND const tree = createOutputTree(dialog);
    if (tree == nullptr) {
        return FALSE;  // the dialog still opens, with its text and OK button only
    }
    fillFromEngine(tree);
    ShowWindow(tree, SW_SHOW);
    openDialog.store(dialog, std::memory_order_release);
    return TRUE;  // the dialog manager gives the focus to the OK button
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

// A click on an output's box: asks the engine to enable or disable that output and updates the
// stored choices.
void onOutputClicked(CheckBoxClick const& click) {
    PortController& engine = PortController::instance();
    if (!engine.tryEnqueue(PortRequest{click.id, click.text, click.ticks})) {
        // Not from inside this notification: the box's modal loop could see the tree rebuilt (the
        // clicked item freed) or destroyed, and the tree toggles that item when we return.
        showErrorBoxLater(kErrorRequestRefused);
    }
    // Stored whether or not the request was queued: the choice counts from the next start on.
    if (click.ticks) {
        addDefaultPort(click.text.c_str());
    } else {
        removeDefaultPort(click.text.c_str());
    }
}

CheckBoxTree const kOutputTree = {IDC_OUTPUT_TREE, fillFromEngine, onOutputClicked};

}  // namespace

INT_PTR CALLBACK configureDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog(dialog);
    case WM_COMMAND:
        return onCommand(dialog, wParam);
    case kPortsChanged:
        return rebuildCheckBoxTree(kOutputTree, dialog);
    case WM_TIMER:
        return wParam == kCheckBoxTreeRebuildTimer ? rebuildCheckBoxTree(kOutputTree, dialog) : FALSE;
    case WM_NOTIFY:
        return lParam != 0 ? onCheckBoxTreeNotify(kOutputTree, *reinterpret_cast<NMHDR const*>(lParam))
                           : FALSE;
    case WM_DESTROY: {
        // Destroyed without being closed (its owner went first): forget it, unless a newer dialog
        // has taken its place.
        HWND expected = dialog;
        openDialog.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
        return FALSE;
    }
    default:
        return FALSE;
    }
}

void openConfigureDialog(HWND owner) {
    DialogBoxParamA(shell().instance, MAKEINTRESOURCEA(IDD_CONFIGURE), owner, configureDialogProc, 0);
}

HWND configureDialogHandle() { return openDialog.load(std::memory_order_acquire); }

void notifyPortsChanged() {
    if (HWND const dialog = openDialog.load(std::memory_order_acquire)) {
        PostMessageA(dialog, kPortsChanged, 0, 0);
    }
}
