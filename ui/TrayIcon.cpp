#include "ui/TrayIcon.h"

#include <shellapi.h>

#include "settings/LaunchOnStartup.h"
#include "ui/AppMessages.h"
#include "ui/ConfigureDialog.h"
#include "ui/PopupMenu.h"
#include "ui/ShareInputsDialog.h"
#include "ui/ShellState.h"
#include "ui/resource.h"

// The full narrow record, balloon fields, GUID and balloon icon included.
static_assert(sizeof(NOTIFYICONDATAA) == 528, "NOTIFYICONDATAA must be the full-size record");

namespace {

UINT const kAppend = 0xFFFFFFFF;  // position -1: at the end
int const kTipSize = 100;         // at most 99 characters of the tip

}  // namespace

void addTrayIcon() {
    NOTIFYICONDATAA& icon = shell().trayIcon;
    icon = NOTIFYICONDATAA{};
    icon.cbSize = sizeof(NOTIFYICONDATAA);
    icon.hWnd = shell().mainWindow;
    icon.uID = kTrayIconId;
    icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    icon.uCallbackMessage = kTrayCallback;
    icon.hIcon = LoadIconA(shell().instance, MAKEINTRESOURCEA(IDI_TESSIVANE));
    LoadStringA(shell().instance, IDS_TRAY_TIP, icon.szTip, kTipSize);
    Shell_NotifyIconA(NIM_ADD, &icon);
}

void deleteTrayIcon() { Shell_NotifyIconA(NIM_DELETE, &shell().trayIcon); }

void showTrayMenu(HWND window) {
    bool const dialogOpen = configureDialogHandle() != nullptr;
    bool const inputsDialogOpen = shareInputsDialogHandle() != nullptr;
    bool const launchOnStartup = isLaunchOnStartup();
    POINT cursor = {};
    GetCursorPos(&cursor);

    PopupMenu menu;
    if (!menu) {
        return;
    }
    InsertMenuA(menu.get(), kAppend, MF_BYPOSITION | (dialogOpen ? MF_GRAYED : 0), IDM_CONFIGURE,
                "Configure...");
    InsertMenuA(menu.get(), kAppend, MF_BYPOSITION | (inputsDialogOpen ? MF_GRAYED : 0),
                IDM_SHARE_INPUTS, "Share inputs...");
    InsertMenuA(menu.get(), kAppend, MF_BYPOSITION | (launchOnStartup ? MF_CHECKED : 0),
                IDM_LAUNCH_ON_STARTUP, "Launch on startup");
    InsertMenuA(menu.get(), kAppend, MF_SEPARATOR, IDM_SEPARATOR, "SEP");
    InsertMenuA(menu.get(), kAppend, MF_BYPOSITION, IDM_EXIT, "Exit");

    // The menu of a background window closes when the user clicks elsewhere only if its owner is
    // the foreground window.
    SetForegroundWindow(window);
    TrackPopupMenu(menu.get(), TPM_BOTTOMALIGN, cursor.x, cursor.y, 0, window, nullptr);
}
