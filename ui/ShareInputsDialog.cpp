#include "ui/ShareInputsDialog.h"

#include <atomic>
#include <exception>
#include <vector>

#include "engine/EngineTexts.h"
#include "engine/PortController.h"
#include "midi_services/win32/MidiServicesRegistry.h"
#include "settings/SharedInputsStore.h"
#include "ui/AppMessages.h"
#include "ui/DeviceDialog.h"
#include "ui/DeviceTree.h"
#include "ui/ErrorBox.h"
#include "ui/ShellState.h"
#include "ui/resource.h"

namespace {

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

HWND createInputTree(HWND dialog) {
    char const* note = servicesNote();
    if (note != nullptr) {
        SetDlgItemTextA(dialog, IDC_SERVICES_NOTE, note);
        ShowWindow(GetDlgItem(dialog, IDC_SERVICES_NOTE), SW_SHOW);
    }
    return createDeviceTree(dialog, note != nullptr ? kTreeBoundsBelowNote : kTreeBounds,
                            IDC_INPUT_TREE, "MIDI Inputs");
}

DeviceDialog const kShareInputs = {{IDC_INPUT_TREE, fillFromEngine, onInputClicked},
                                   kInputsChanged,
                                   createInputTree,
                                   &openDialog};

}  // namespace

INT_PTR CALLBACK shareInputsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return deviceDialogMessage(kShareInputs, dialog, message, wParam, lParam);
}

void openShareInputsDialog(HWND owner) {
    DialogBoxParamA(shell().instance, MAKEINTRESOURCEA(IDD_SHARE_INPUTS), owner,
                    shareInputsDialogProc, 0);
}

HWND shareInputsDialogHandle() { return kShareInputs.handle(); }

void notifyInputsChanged() { kShareInputs.notify(); }
