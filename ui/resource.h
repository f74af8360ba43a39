// Resource and command identifiers of the program, in one place.
#pragma once

// Strings.
#define IDS_APP_TITLE 103      // window title "Tessivane"
#define IDC_TESSIVANE 109      // window class name "TESSIVANE"; also the menu and accelerators
#define IDS_SETTINGS_KEY 200   // "SOFTWARE\Velmora\Tessivane"
#define IDS_TRAY_TIP 201       // "Velmora Tessivane"

// Icons.
#define IDI_TESSIVANE 107
#define IDI_SMALL 108

// Dialogs.
#define IDD_CONFIGURE 102
#define IDD_ABOUTBOX 103

// Commands.
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_CONFIGURE 202
#define IDM_LAUNCH_ON_STARTUP 203
#define IDM_SEPARATOR 204
