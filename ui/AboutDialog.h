// The About box (dialog 103), opened by command 104: the class menu or Alt+? / Alt+/.
#pragma once

#include <windows.h>

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
