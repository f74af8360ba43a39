// What the Configure and Share inputs dialogs have in common: a modal dialog of the main window
// around a tree of devices with check boxes, whose handle the engine's thread reads to post it a
// notice when the engine has published a new list, and which rebuilds its tree on that notice.
//
// Thread contract: the dialog runs on the user-interface thread; notify() runs on the engine's
// timer thread and only reads the handle and posts to it.
#pragma once

#include <windows.h>

#include <atomic>

#include "ui/CheckBoxTree.h"

struct DeviceDialog {
    CheckBoxTree tree;
    // Posted when the engine has published a new list (wParam and lParam 0).
    UINT listChanged;
    // Makes the tree in the dialog (hidden), after any text it needs above it; null when it cannot.
    HWND (*createTree)(HWND dialog);
    // The open dialog, or null. Written on the user-interface thread, read by the timer thread:
    // the release on writing pairs with the acquire on reading, so the dialog it names is made.
    std::atomic<HWND>* open;

    HWND handle() const { return open->load(std::memory_order_acquire); }
    void notify() const;
};

// The dialog procedure's work for a device dialog; FALSE for what it does not handle.
INT_PTR deviceDialogMessage(DeviceDialog const& dialog, HWND window, UINT message, WPARAM wParam,
                            LPARAM lParam);
