// The Configure dialog (dialog 102): the outputs as a tree of check boxes. A click on a box queues
// an enable or disable request for the engine and updates the stored choices; the tree is rebuilt
// whenever the engine has published a new output list.
//
// Thread contract: the dialog runs on the user-interface thread. notifyPortsChanged runs on the
// engine's timer thread and only reads the dialog handle and posts to it.
#pragma once

#include <windows.h>

INT_PTR CALLBACK configureDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Opens the dialog, modal and owned by `owner`; returns when it is closed.
void openConfigureDialog(HWND owner);

// The open dialog, or null. A second dialog replaces the first one's handle; closing either clears it.
HWND configureDialogHandle();

// The engine's ports-changed hook: posts the ports-changed message to the open dialog, if any.
void notifyPortsChanged();
