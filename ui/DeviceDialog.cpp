#include "ui/DeviceDialog.h"

#include <commctrl.h>

namespace {

INT_PTR onInitDialog(DeviceDialog const& dialog, HWND window) {
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_TREEVIEW_CLASSES;
    if (!InitCommonControlsEx(&controls)) {
        return FALSE;
    }
    HWND const tree = dialog.createTree(window);
    if (tree == nullptr) {
        return FALSE;  // the dialog still opens, with its texts and OK button only
    }
    dialog.tree.fill(tree);
    ShowWindow(tree, SW_SHOW);
    dialog.open->store(window, std::memory_order_release);
    return TRUE;  // the dialog manager gives the focus to the OK button
}

INT_PTR onCommand(DeviceDialog const& dialog, HWND window, WPARAM wParam) {
    WORD const command = LOWORD(wParam);
    if (command != IDOK && command != IDCANCEL) {
        return FALSE;
    }
    dialog.open->store(nullptr, std::memory_order_release);
    EndDialog(window, command);
    return TRUE;
}

}  // namespace

void DeviceDialog::notify() const {
    if (HWND const window = handle()) {
        PostMessageA(window, listChanged, 0, 0);
    }
}

INT_PTR deviceDialogMessage(DeviceDialog const& dialog, HWND window, UINT message, WPARAM wParam,
                            LPARAM lParam) {
    if (message == dialog.listChanged) {
        return rebuildCheckBoxTree(dialog.tree, window);
    }
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog(dialog, window);
    case WM_COMMAND:
        return onCommand(dialog, window, wParam);
    case WM_TIMER:
        return wParam == kCheckBoxTreeRebuildTimer ? rebuildCheckBoxTree(dialog.tree, window) : FALSE;
    case WM_NOTIFY:
        return lParam != 0 ? onCheckBoxTreeNotify(dialog.tree, *reinterpret_cast<NMHDR const*>(lParam))
                           : FALSE;
    case WM_DESTROY: {
        // Destroyed without being closed (its owner went first): forget it, unless a newer dialog
        // has taken its place.
        HWND expected = window;
        dialog.open->compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
        return FALSE;
    }
    default:
        return FALSE;
    }
}
