// The Share inputs dialog (dialog 110): the MIDI inputs as a tree of check boxes, built like the
// Configure dialog. A click on a box asks the engine to share or stop sharing that input and
// updates the stored shared inputs; the tree is rebuilt whenever the engine has published a new
// input list. One line above the tree says when Windows MIDI Services shares devices itself.
//
// Thread contract: the dialog runs on the user-interface thread. notifyInputsChanged runs on the
// engine's timer thread and only reads the dialog handle and posts to it.
#pragma once

#include <windows.h>

INT_PTR CALLBACK shareInputsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Opens the dialog, modal and owned by `owner`; returns when it is closed.
void openShareInputsDialog(HWND owner);

// The open dialog, or null (the tray menu grays "Share inputs..." meanwhile).
HWND shareInputsDialogHandle();

// The engine's inputs-changed hook: posts the inputs-changed message to the open dialog, if any.
void notifyInputsChanged();
