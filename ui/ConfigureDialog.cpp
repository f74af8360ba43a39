#include "ui/ConfigureDialog.h"

#include <atomic>
#include <exception>
#include <vector>

#include "engine/EngineTexts.h"
#include "engine/PortController.h"
#include "settings/DefaultPortsStore.h"
#include "ui/AppMessages.h"
#include "ui/DeviceDialog.h"
#include "ui/DeviceTree.h"
#include "ui/ErrorBox.h"
#include "ui/ShellState.h"
#include "ui/resource.h"

namespace {

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

DeviceDialog const kConfigure = {{IDC_OUTPUT_TREE, fillFromEngine, onOutputClicked},
                                 kPortsChanged,
                                 createOutputTree,
                                 &openDialog};

}  // namespace

INT_PTR CALLBACK configureDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return deviceDialogMessage(kConfigure, dialog, message, wParam, lParam);
}

void openConfigureDialog(HWND owner) {
    DialogBoxParamA(shell().instance, MAKEINTRESOURCEA(IDD_CONFIGURE), owner, configureDialogProc, 0);
}

HWND configureDialogHandle() { return kConfigure.handle(); }

void notifyPortsChanged() { kConfigure.notify(); }
