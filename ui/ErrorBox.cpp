#include "ui/ErrorBox.h"

#include <windows.h>

#include "ui/ShellState.h"

void showErrorBox(char const* text) {
    UINT const kStyle = MB_OK | MB_ICONWARNING | MB_TASKMODAL | MB_SETFOREGROUND | MB_TOPMOST;
    static_assert(kStyle == 0x00052030, "the error box's flags");
    MessageBoxA(shell().mainWindow, text, "Velmora Tessivane Error", kStyle);
}
