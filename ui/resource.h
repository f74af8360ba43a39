// Resource and command identifiers of the program, in one place. Plain macros: the resource
// script is compiled by windres, which only understands the preprocessor.
#pragma once

// Strings.
#define IDS_APP_TITLE 103      // window title "Tessivane"
#define IDC_TESSIVANE 109      // window class name "TESSIVANE"; also the menu and accelerators
#define IDS_SETTINGS_KEY 200   // "SOFTWARE\Velmora\Tessivane"
#define IDS_TRAY_TIP 201       // "Velmora Tessivane"

// Icons.
#define IDI_TESSIVANE 107      // application icon: class icon, tray icon, About box
#define IDI_SMALL 108          // small class icon

// Dialogs.
#define IDD_CONFIGURE 102
#define IDD_ABOUTBOX 103
#define IDD_SHARE_INPUTS 110

// Commands.
#define IDM_ABOUT 104          // class menu item and both accelerators
#define IDM_EXIT 105           // tray menu "Exit"
#define IDM_CONFIGURE 202      // tray menu "Configure..."
#define IDM_LAUNCH_ON_STARTUP 203  // tray menu "Launch on startup"
#define IDM_SEPARATOR 204      // tray menu separator (never sent)
#define IDM_SHARE_INPUTS 205   // tray menu "Share inputs..."

// Controls.
#define IDC_OUTPUT_TREE 11     // the Configure dialog's tree, created at run time
#define IDC_INPUT_TREE 12      // the Share inputs dialog's tree, created at run time
#define IDC_SERVICES_NOTE 13   // the Share inputs dialog's line on Windows MIDI Services
