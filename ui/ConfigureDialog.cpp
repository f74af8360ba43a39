#include "ui/ConfigureDialog.h"

#include <commctrl.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <vector>

#include "engine/EngineTexts.h"
#include "engine/PortController.h"
#include "settings/DefaultPortsStore.h"
#include "ui/AppMessages.h"
#include "ui/ErrorBox.h"
#include "ui/OutputTree.h"
#include "ui/ShellState.h"
#include "ui/resource.h"

namespace {

// Written on the user-interface thread, read by the timer thread in notifyPortsChanged: the
// release here pairs with the acquire there, so the dialog it names is fully made.
std::atomic<HWND> openDialog{nullptr};

int const kItemTextSize = 260;
// The timer that retries a rebuild held back by a click, and how often it looks.
UINT_PTR const kDeferredRebuild = 1;
UINT const kDeferredRebuildPollMs = USER_TIMER_MINIMUM;

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

// Whether a click on the tree is under way. Windows' tree view may run a mouse-tracking loop
// between the press on an item and its NM_CLICK, and that loop dispatches posted messages: a
// rebuild from there would free the item that the click then toggles.
bool clickUnderWay(HWND tree) {
    if (GetCapture() == tree) {
        return true;
    }
    // The button that clicks (the right one when the buttons are swapped), as it is now.
    int const button = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
    if ((GetAsyncKeyState(button) & 0x8000) == 0) {
        return false;
    }
    POINT cursor = {};
    return GetCursorPos(&cursor) && WindowFromPoint(cursor) == tree;
}

INT_PTR onPortsChanged(HWND dialog) {
    HWND const tree = GetDlgItem(dialog, IDC_OUTPUT_TREE);
    if (tree == nullptr) {
        return TRUE;
    }
    // Deferred until the click is over; every notice meanwhile is served by that one rebuild,
    // which reads the list as it then stands. Without a timer to wait with (the desktop is out
    // of resources) it rebuilds at once, as it would have before.
    if (clickUnderWay(tree) &&
        SetTimer(dialog, kDeferredRebuild, kDeferredRebuildPollMs, nullptr) != 0) {
        return TRUE;
    }
    KillTimer(dialog, kDeferredRebuild);
    fillFromEngine(tree);
    UpdateWindow(tree);
    return TRUE;
}

// The user clicked in the tree. Only a click on an item's check box does something: it asks the
// engine to enable or disable that output and updates the stored choices. The box's state read
// here is the one before the click; the tree toggles it afterwards.
INT_PTR onTreeClick(NMHDR const& header) {
    HWND const tree = header.hwndFrom;
    if (tree == nullptr) {
        return FALSE;
    }
    POINT point = {};
    if (!GetCursorPos(&point) || !ScreenToClient(tree, &point)) {
        return FALSE;
    }
    TVHITTESTINFO hit = {};
    hit.pt = point;
    SendMessageA(tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    if (hit.hItem == nullptr || (hit.flags & TVHT_ONITEMSTATEICON) == 0) {
        return FALSE;
    }
    char text[kItemTextSize] = {};
    TVITEMA item = {};
    item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_STATE | TVIF_HANDLE;
    item.hItem = hit.hItem;
    item.stateMask = TVIS_STATEIMAGEMASK;
    item.pszText = text;
    item.cchTextMax = kItemTextSize;
    if (!SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) {
        return FALSE;
    }
    text[kItemTextSize - 1] = '\0';
    UINT const stateImage = (item.state & TVIS_STATEIMAGEMASK) >> 12;
    auto const id = static_cast<std::int32_t>(static_cast<std::uint32_t>(item.lParam));
    if (id < 0 || GetWindowLongPtrA(tree, GWLP_ID) != IDC_OUTPUT_TREE) {
        return TRUE;
    }
    bool const enable = stateImage == 1;
    PortController& engine = PortController::instance();
    if (!engine.tryEnqueue(PortRequest{id, text, enable})) {
        // Not from inside this notification: the box's modal loop could see the tree rebuilt (the
        // clicked item freed) or destroyed, and the tree toggles that item when we return.
        showErrorBoxLater(kErrorRequestRefused);
    }
    // Stored whether or not the request was queued: the choice counts from the next start on.
    if (enable) {
        addDefaultPort(text);
    } else {
        removeDefaultPort(text);
    }
    return TRUE;
}

INT_PTR onNotify(LPARAM lParam) {
    auto const* header = reinterpret_cast<NMHDR const*>(lParam);
    if (header == nullptr) {
        return FALSE;
    }
    switch (header->code) {
    case TVN_SELCHANGEDA:
        // No item stays selected: the tree is a list of boxes, not a selection.
        if (header->hwndFrom != nullptr) {
            SendMessageA(header->hwndFrom, TVM_SELECTITEM, TVGN_CARET, 0);
        }
        return TRUE;
    case NM_CLICK:
        try {
            return onTreeClick(*header);
        } catch (std::exception const&) {
            return TRUE;  // out of memory for the request's name: nothing was queued or stored
        }
    default:
        return FALSE;
    }
}

}  // namespace

INT_PTR CALLBACK configureDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog(dialog);
    case WM_COMMAND:
        return onCommand(dialog, wParam);
    case kPortsChanged:
        return onPortsChanged(dialog);
    case WM_TIMER:
        return wParam == kDeferredRebuild ? onPortsChanged(dialog) : FALSE;
    case WM_NOTIFY:
        return onNotify(lParam);
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
