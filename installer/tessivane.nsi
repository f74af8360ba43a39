; Tessivane's per-user installer (NSIS, 64-bit Unicode stub).
; Built by installer/build-installer.sh, which passes:
;   VERSION       the version as people see it, e.g. 1.0 (from the build's generated version.txt)
;   VERSION_QUAD  the same as four numbers, e.g. 1.0.0.0 (for the installer's version resource)
;   STAGE         folder holding exactly the files that are installed
;   OUTFILE       the installer to write
;   ICON          the program's icon, used for the installer and the uninstaller
;   WELCOME_BITMAP  the picture of the welcome and finish pages (164 x 314, from the icon's drawing)
;   SIGN          (optional) a command that signs the file given to it in place; with it the
;                 uninstaller is signed before it is packed, and setup once it is written
;
; Command line (besides NSIS's own /S for a silent run and /D=folder, which must come last):
;   /LOGON=yes|no  start Tessivane at logon or not. Without it a new install leaves it off and an
;                  upgrade keeps what the user had.
;
; Exit codes (installer/README.txt lists them for users; the winget manifest maps them):
;   0 done; 1 cancelled by the user and 2 aborted (NSIS's own: its stub also gives 2 when it
;   fails by itself, with no writable temporary folder or a damaged download, so none of our
;   outcomes uses 0 to 2); 3 to 7, the EXIT_ values below, each with nothing changed.

Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include WinVer.nsh
!include WordFunc.nsh

!define PRODUCT "Tessivane"
!define PUBLISHER "Velmora"
!define EXE "tessivane.exe"
; The diagnostics tool beside it, and its Start-menu shortcut's name.
!define CHECK_EXE "tessivane-check.exe"
!define CHECK_TITLE "${PRODUCT} diagnostics"
; The program's own window class; WM_COMMAND 105 to it is the tray menu's "Exit".
!define WINDOW_CLASS "TESSIVANE"
!define TRAY_EXIT_COMMAND 105
; Exactly the value the program's "Launch on startup" writes and recognises: this name, the full
; path of the executable, not quoted, no arguments, REG_SZ.
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "Tessivane_x64"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessivane"
!define DRIVER_DLL "teVirtualMIDI64.dll"
; How long one running Tessivane may take to close its ports and end after "Exit".
!define END_WAIT_MS 10000
; Access rights that let setup read a process's image path and wait for it to end.
!define PROCESS_SYNCHRONIZE 0x00100000
!define PROCESS_QUERY_LIMITED_INFORMATION 0x1000
; Room for the process ids of one look at the running processes (4 bytes each).
!define PROCESS_LIST_BYTES 65536
; CompareStringOrdinal's answer for equal texts.
!define CSTR_EQUAL 2
; What StartTessivane asks the desktop's shell through: its ShellWindows, the desktop's view
; (FindWindowSW with SWC_DESKTOP and SWFO_NEEDDISPATCH, CSIDL_DESKTOP), the view's background
; object and the shell's IShellDispatch2. The numbers after -> in its calls are the methods'
; places in these interfaces' tables.
!define CLSID_ShellWindows "{9BA05972-F6A8-11CF-A442-00A0C90A8F39}"
!define IID_IShellWindows "{85CB6900-4D95-11CF-960C-0080C7F4EE85}"
!define IID_IServiceProvider "{6D5140C1-7436-11CE-8034-00AA006009FA}"
!define SID_STopLevelBrowser "{4C96BE40-915C-11CF-99D3-00AA004AE837}"
!define IID_IShellBrowser "{000214E2-0000-0000-C000-000000000046}"
!define IID_IDispatch "{00020400-0000-0000-C000-000000000046}"
!define IID_IShellFolderViewDual "{E7A1AF80-4D96-11CF-960C-0080C7F4EE85}"
!define IID_IShellDispatch2 "{A4C6892C-3BA9-11D2-9DEA-00C04FB16162}"
!define CLSCTX_LOCAL_SERVER 4
!define SWC_DESKTOP 8
!define SWFO_NEEDDISPATCH 1
!define VT_I4 3
!define VARIANT_BYTES 24
!define /math VARIANTS_BYTES ${VARIANT_BYTES} * 2
!define EXIT_BAD_OPTION 3      ; a command-line value setup does not know
!define EXIT_NEWER_INSTALLED 4 ; a newer version is installed
!define EXIT_WINDOWS_TOO_OLD 5 ; older than the program's floor below
!define EXIT_IN_USE 6          ; a Tessivane running from the folder did not end, or its
                               ; executable could not be replaced or removed
!define EXIT_OTHER_FOLDER 7    ; Tessivane is installed in another folder
; The program's floor: 64-bit Windows 10 version 1903. Its manifest sets the UTF-8 code page for
; every narrow-character call, which older Windows ignore.
!define MIN_WINDOWS_BUILD 18362

!ifdef SIGN
  ; Signed before being packed, so the uninstall.exe that setup writes carries the signature.
  !uninstfinalize '"${SIGN}" "%1"' = 0
  !finalize '"${SIGN}" "%1"' = 0
!endif

Name "${PRODUCT}"
Caption "${PRODUCT} ${VERSION} Setup"
UninstallCaption "${PRODUCT} ${VERSION} Uninstall"
OutFile "${OUTFILE}"
; Per user: the program's settings and its Run value are the user's own, so no administrator.
RequestExecutionLevel user
; A file that cannot be written stops setup rather than being skipped in silence (which NSIS
; does by default, and which would leave old files under a new version's uninstall entry).
AllowSkipFiles off
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
; An upgrade goes where the previous version is.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) ${PUBLISHER}. MIT licence."

Var Logon          ; 1: start at logon
Var Upgrade        ; 1: a previous install is there
Var DriverFound    ; 1: the driver's DLL is where the program loads it from
Var WasRunning     ; 1: setup ended a running Tessivane, which it starts again afterwards
Var LogonCheckbox
Var OwnExe         ; $INSTDIR\tessivane.exe as Windows spells it on disk

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${WELCOME_BITMAP}"
!define MUI_UNWELCOMEFINISHPAGE_BITMAP "${WELCOME_BITMAP}"
!define MUI_ABORTWARNING

!define MUI_WELCOMEPAGE_TEXT "Setup will install ${PRODUCT} ${VERSION} for you alone; it needs no administrator rights.$\r$\n$\r$\n${PRODUCT} lets several applications play into one MIDI output at the same time, through virtual MIDI ports. It needs the teVirtualMIDI driver, which is installed separately.$\r$\n$\r$\nIf ${PRODUCT} is running, setup ends it and starts it again afterwards.$\r$\n$\r$\n$_CLICK"
!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipDirectoryOnUpgrade
!insertmacro MUI_PAGE_DIRECTORY
Page custom OptionsPage OptionsPageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartTessivane
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishPageShow
!insertmacro MUI_PAGE_FINISH

!define MUI_UNCONFIRMPAGE_TEXT_TOP "${PRODUCT} will be ended if it is running, then removed from your computer. Your chosen outputs stay stored in your registry for a later install; README.txt says how to remove them."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; Ends on a page of its own, with the same picture as setup's, rather than on the bare progress bar.
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "English"

; Paths reach System::Call only through registers (w r0), never written into its text: the
; plug-in ends a quoted argument at the first ' or ` in it, and such folders are common
; (C:\Users\Seán Ó'Brien).

; Replaces the path in $0 by the spelling Windows keeps on disk (long names, letter case as
; created) when it exists; leaves it as it is otherwise.
!macro DEFINE_LONG_PATH prefix
Function ${prefix}LongPath
  Push $1
  Push $2
  System::Call "kernel32::GetLongPathNameW(w r0, w .r1, i ${NSIS_MAX_STRLEN}) i .r2"
  ${If} $2 > 0
  ${AndIf} $2 < ${NSIS_MAX_STRLEN}
    StrCpy $0 $1
  ${EndIf}
  Pop $2
  Pop $1
FunctionEnd
!macroend
!insertmacro DEFINE_LONG_PATH ""
!insertmacro DEFINE_LONG_PATH "un."

; Sets $OwnExe: this installation's program, in the spelling Windows keeps on disk, so that it
; compares with what a process or the Run value says.
!macro DEFINE_OWN_EXE prefix
Function ${prefix}SetOwnExe
  Push $0
  StrCpy $0 "$INSTDIR\${EXE}"
  Call ${prefix}LongPath
  StrCpy $OwnExe $0
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_OWN_EXE ""
!insertmacro DEFINE_OWN_EXE "un."

; The one rule for "the same path", as Windows compares paths: ordinal, letter case ignored,
; after the same long-name spelling. Push two paths; pops them and pushes 1 when they name the
; same file or folder, else 0.
!macro DEFINE_SAME_PATH prefix
Function ${prefix}SamePath
  Exch $1
  Exch
  Exch $0
  Push $2
  Call ${prefix}LongPath
  StrCpy $2 $0
  StrCpy $0 $1
  Call ${prefix}LongPath
  System::Call "kernel32::CompareStringOrdinal(w r2, i -1, w r0, i -1, i 1) i .r1"
  StrCpy $0 0
  ${IfThen} $1 = ${CSTR_EQUAL} ${|} StrCpy $0 1 ${|}
  Pop $2
  Exch $0
  Exch
  Pop $1
FunctionEnd
!macroend
!insertmacro DEFINE_SAME_PATH ""
!insertmacro DEFINE_SAME_PATH "un."

; Push a path; pops it and pushes 1 when it is $OwnExe, else 0. A quoted path counts as itself.
!macro DEFINE_IS_OWN_EXE prefix
Function ${prefix}IsOwnExe
  Exch $0
  Push $1
  StrCpy $1 $0 1
  ${If} $1 == '"'
    StrCpy $0 $0 "" 1
    StrCpy $1 $0 1 -1
    ${IfThen} $1 == '"' ${|} StrCpy $0 $0 -1 ${|}
  ${EndIf}
  Pop $1
  Push $0
  Push $OwnExe
  Call ${prefix}SamePath
  Pop $0
  Exch $0
FunctionEnd
!macroend
!insertmacro DEFINE_IS_OWN_EXE ""
!insertmacro DEFINE_IS_OWN_EXE "un."

; Pushes 1 when the Run value starts this installation's program, else 0.
!macro DEFINE_RUN_VALUE_IS_OWN prefix
Function ${prefix}RunValueIsOwn
  Push $0
  Call ${prefix}SetOwnExe
  ClearErrors
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${If} ${Errors}
    StrCpy $0 0
  ${Else}
    Push $0
    Call ${prefix}IsOwnExe
    Pop $0
  ${EndIf}
  Exch $0
FunctionEnd
!macroend
!insertmacro DEFINE_RUN_VALUE_IS_OWN ""
!insertmacro DEFINE_RUN_VALUE_IS_OWN "un."

; Pushes a handle (synchronize access) to a process whose image is $OwnExe, or 0 when none runs.
; Processes that cannot be opened are not known to be ours; if one is, the check of the locked
; executable in EndOwnTessivane still stops setup.
!macro DEFINE_OPEN_OWN_PROCESS prefix
Function ${prefix}OpenOwnProcess
  Push $0  ; the process ids
  Push $1  ; bytes of them
  Push $2  ; offset
  Push $3  ; one id, then its handle
  Push $4
  Push $5
  Push $6  ; the result
  StrCpy $6 0
  System::Alloc ${PROCESS_LIST_BYTES}
  Pop $0
  System::Call "kernel32::K32EnumProcesses(p r0, i ${PROCESS_LIST_BYTES}, *i .r1) i .r4"
  ${IfThen} $4 = 0 ${|} StrCpy $1 0 ${|}
  StrCpy $2 0
  ${DoWhile} $2 < $1
    IntPtrOp $4 $0 + $2
    System::Call "*$4(i .r3)"
    IntOp $2 $2 + 4
    System::Call "kernel32::OpenProcess(i ${PROCESS_SYNCHRONIZE}|${PROCESS_QUERY_LIMITED_INFORMATION}, i 0, i r3) p .r3"
    ${If} $3 P= 0
      ${Continue}
    ${EndIf}
    System::Call "kernel32::QueryFullProcessImageNameW(p r3, i 0, w .r4, *i ${NSIS_MAX_STRLEN}) i .r5"
    ${If} $5 <> 0
      Push $4
      Call ${prefix}IsOwnExe
      Pop $5
      ${If} $5 = 1
        StrCpy $6 $3
        ${Break}
      ${EndIf}
    ${EndIf}
    System::Call "kernel32::CloseHandle(p r3)"
  ${Loop}
  System::Free $0
  StrCpy $0 $6
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd
!macroend
!insertmacro DEFINE_OPEN_OWN_PROCESS ""
!insertmacro DEFINE_OPEN_OWN_PROCESS "un."

; Says that a program of the installation is still in use (the message on the stack). Returns
; when the user chooses Retry; quits with EXIT_IN_USE on Cancel, and in a silent run.
!macro DEFINE_STILL_RUNNING prefix
Function ${prefix}InUse
  Exch $0
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION $0 /SD IDCANCEL IDRETRY retry
  DetailPrint "Nothing was changed."
  SetErrorLevel ${EXIT_IN_USE}
  Quit
  retry:
  Pop $0
FunctionEnd
Function ${prefix}StillRunning
  Push "${PRODUCT} is still running from$\r$\n$INSTDIR$\r$\nand did not end, so nothing there was changed.$\r$\n$\r$\nEnd it with Exit in its menu in the notification area (or in Task Manager), then choose Retry."
  Call ${prefix}InUse
FunctionEnd
; The diagnostics tool's window waits for Enter, so it may well be open.
Function ${prefix}DiagnosticsOpen
  Push "${CHECK_TITLE} is still open from$\r$\n$INSTDIR$\r$\nso nothing there was changed.$\r$\n$\r$\nClose its window, then choose Retry."
  Call ${prefix}InUse
FunctionEnd
!macroend
!insertmacro DEFINE_STILL_RUNNING ""
!insertmacro DEFINE_STILL_RUNNING "un."

; Ends the Tessivane that runs from this installation's folder through its own "Exit" (so its
; ports and output connections close as they should) and waits on its process; a copy running
; from elsewhere (a portable one) is left alone. Sets $WasRunning to 1 when it ended one.
; Whatever does not end (no window to take "Exit", a process setup may not open, the executable
; still locked) asks to retry; cancelled, or silent, it quits with EXIT_IN_USE before anything
; is changed.
!macro DEFINE_END_OWN prefix
Function ${prefix}EndOwnTessivane
  Push $0
  Push $1
  Push $2
  Push $3
  Call ${prefix}SetOwnExe
  ${Do}
    StrCpy $3 0  ; 1: ended, or nothing to end
    Call ${prefix}OpenOwnProcess
    Pop $0
    ${If} $0 P<> 0
      System::Call "kernel32::GetProcessId(p r0) i .r1"
      DetailPrint "Ending the running ${PRODUCT} (process $1)"
      StrCpy $2 0
      ${Do}
        FindWindow $2 "${WINDOW_CLASS}" "" "" $2
        ${IfThen} $2 = 0 ${|} ${ExitDo} ${|}
        System::Call "user32::GetWindowThreadProcessId(p r2, *i .r3) i"
        ${If} $3 = $1
          System::Call "user32::PostMessageW(p r2, i ${WM_COMMAND}, p ${TRAY_EXIT_COMMAND}, p 0) i"
        ${EndIf}
      ${Loop}
      System::Call "kernel32::WaitForSingleObject(p r0, i ${END_WAIT_MS}) i .r1"
      System::Call "kernel32::CloseHandle(p r0)"
      ${If} $1 = 0  ; WAIT_OBJECT_0
        StrCpy $WasRunning 1
        ${Continue}  ; look again: another copy may run from here too
      ${EndIf}
    ${Else}
      ; None seen. A running executable cannot be opened for writing: that catches a copy that
      ; setup may not see, or one just ending.
      StrCpy $1 0
      ${Do}
        ${IfNot} ${FileExists} "$OwnExe"
          StrCpy $3 1
          ${ExitDo}
        ${EndIf}
        ClearErrors
        FileOpen $2 "$OwnExe" a
        ${IfNot} ${Errors}
          FileClose $2
          StrCpy $3 1
          ${ExitDo}
        ${EndIf}
        ${IfThen} $1 >= ${END_WAIT_MS} ${|} ${ExitDo} ${|}
        Sleep 250
        IntOp $1 $1 + 250
      ${Loop}
      ${IfThen} $3 = 1 ${|} ${Break} ${|}
    ${EndIf}
    Call ${prefix}StillRunning
  ${Loop}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_END_OWN ""
!insertmacro DEFINE_END_OWN "un."

; Removes the Run value when it starts this installation's program; a value that starts another
; copy of Tessivane is that copy's and stays.
!macro DEFINE_REMOVE_RUN_VALUE prefix
Function ${prefix}RemoveOwnRunValue
  Push $0
  Call ${prefix}RunValueIsOwn
  Pop $0
  ${If} $0 = 1
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_REMOVE_RUN_VALUE ""
!insertmacro DEFINE_REMOVE_RUN_VALUE "un."

; Reads the command line word by word (a word in quotes may hold spaces). Pushes the value of
; /LOGON= as 1 (yes) or 0 (no), letter case ignored, or "" when it is not given; quits with
; EXIT_BAD_OPTION on any other value. NSIS itself takes a final, unquoted /D=folder and cuts it
; off the line; a quoted one, as PowerShell and others pass a path with spaces, it would ignore,
; so that one sets $INSTDIR here. Nothing after /D= is read: the folder is the rest of the line.
Function ReadOptions
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  ${GetParameters} $0
  StrCpy $1 ""  ; the word so far
  StrCpy $2 0   ; position
  StrCpy $5 0   ; 1: inside quotes
  StrCpy $6 ""  ; the value found
  ${Do}
    StrCpy $3 $0 1 $2
    IntOp $2 $2 + 1
    ${If} $3 == '"'
      IntOp $5 1 - $5
      ${Continue}
    ${EndIf}
    ${If} $3 == " "
    ${AndIf} $5 = 0
    ${OrIf} $3 == ""
      StrCpy $4 $1 3
      ${If} $4 S== "/D="
        StrCpy $4 $1 "" 3
        ${IfThen} $4 != "" ${|} StrCpy $INSTDIR $4 ${|}
        ${ExitDo}
      ${EndIf}
      StrCpy $4 $1 7
      ${If} $4 == "/LOGON="
        StrCpy $4 $1 "" 7
        ${If} $4 == "yes"
        ${OrIf} $4 == "1"
          StrCpy $6 1
        ${ElseIf} $4 == "no"
        ${OrIf} $4 == "0"
          StrCpy $6 0
        ${Else}
          MessageBox MB_OK|MB_ICONSTOP "Unknown value for /LOGON: $4 (use /LOGON=yes or /LOGON=no)." /SD IDOK
          SetErrorLevel ${EXIT_BAD_OPTION}
          Quit
        ${EndIf}
      ${EndIf}
      ${IfThen} $3 == "" ${|} ${ExitDo} ${|}
      StrCpy $1 ""
    ${Else}
      StrCpy $1 "$1$3"
    ${EndIf}
  ${Loop}
  StrCpy $0 $6
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

Function .onInit
  SetShellVarContext current
  ${IfNot} ${AtLeastWin10}
  ${OrIfNot} ${AtLeastBuild} ${MIN_WINDOWS_BUILD}
    ${WinVerGetMajor} $0
    ${WinVerGetMinor} $1
    ${WinVerGetBuild} $2
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} needs 64-bit Windows 10 version 1903 or later, or Windows 11. This computer has Windows $0.$1 (build $2).$\r$\n$\r$\nSetup has changed nothing." /SD IDOK
    SetErrorLevel ${EXIT_WINDOWS_TOO_OLD}
    Quit
  ${EndIf}
  Call ReadOptions
  Pop $1
  StrCpy $WasRunning 0
  StrCpy $Upgrade 0
  ${If} ${FileExists} "$INSTDIR\${EXE}"
    StrCpy $Upgrade 1
  ${EndIf}
  ; Start at logon is on when the Run value starts this installation's program; an upgrade keeps
  ; that unless told otherwise.
  Call RunValueIsOwn
  Pop $Logon
  ${IfThen} $1 != "" ${|} StrCpy $Logon $1 ${|}
  ; Never an older version over a newer one; the same version again is a repair.
  ClearErrors
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "DisplayVersion"
  ${IfNot} ${Errors}
    ${VersionCompare} "${VERSION}" $0 $1
    ${If} $1 = 2
      MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} $0 is installed, which is newer than ${VERSION}, the version of this setup.$\r$\n$\r$\nSetup has changed nothing. To go back to ${VERSION}, uninstall ${PRODUCT} first (your chosen outputs stay stored)." /SD IDOK
      SetErrorLevel ${EXIT_NEWER_INSTALLED}
      Quit
    ${EndIf}
  ${EndIf}
  ; Once per user: a second copy in another folder would leave the first one, perhaps running,
  ; and its Run value behind, and take over its uninstall entry.
  ClearErrors
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${IfNot} ${Errors}
  ${AndIf} ${FileExists} "$0\${EXE}"
    StrCpy $1 $INSTDIR
    StrCpy $2 $1 1 -1
    ${IfThen} $2 == "\" ${|} StrCpy $1 $1 -1 ${|}
    Push $0
    Push $1
    Call SamePath
    Pop $2
    ${If} $2 = 0
      MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is already installed in$\r$\n$0$\r$\n$\r$\nSetup has changed nothing. To update it, install into that folder (without /D=). To have it in$\r$\n$1$\r$\ninstead, uninstall ${PRODUCT} first (your chosen outputs stay stored)." /SD IDOK
      SetErrorLevel ${EXIT_OTHER_FOLDER}
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Function SkipDirectoryOnUpgrade
  ${If} $Upgrade = 1
    Abort
  ${EndIf}
FunctionEnd

Function OptionsPage
  !insertmacro MUI_HEADER_TEXT "Options" "Choose how ${PRODUCT} starts."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateCheckbox} 0 0 100% 12u "&Start ${PRODUCT} when I log on to Windows"
  Pop $LogonCheckbox
  ${If} $Logon = 1
    ${NSD_Check} $LogonCheckbox
  ${EndIf}
  ${NSD_CreateLabel} 0 20u 100% 36u "${PRODUCT} then waits in the notification area from the start, with the outputs you chose. You can change this later with Launch on startup in its menu there."
  Pop $0
  nsDialogs::Show
FunctionEnd

Function OptionsPageLeave
  ${NSD_GetState} $LogonCheckbox $0
  ${If} $0 = ${BST_CHECKED}
    StrCpy $Logon 1
  ${Else}
    StrCpy $Logon 0
  ${EndIf}
FunctionEnd

; Starts the installed program the way the desktop starts it: the running shell (Explorer) does
; it, through its IShellDispatch2::ShellExecute (reached from the desktop window's view). So it
; runs with the shell's token, not elevated even when setup was run as administrator (where a
; later setup could not post it Exit), and outside setup's process tree (which a caller such as
; PowerShell's Start-Process -Wait waits for). Without such a shell (none, or another one) setup
; starts it itself.
; One step along StartTessivane's way: on success the object got ($2) takes the place of the one
; asked ($1), which is released; on failure the way ends.
!macro SHELL_NEXT
  ${If} $0 <> 0
  ${OrIf} $2 P= 0
    ${ExitDo}
  ${EndIf}
  System::Call "$1->2()"
  StrCpy $1 $2
!macroend
Function StartTessivane
  Push $0   ; result of the last call
  Push $1   ; ShellWindows, then each object along the way
  Push $2   ; the next object
  Push $3   ; two VARIANTs: the desktop's place (VT_I4 CSIDL_DESKTOP), then nothing (VT_EMPTY)
  Push $4   ; the program's path, then as a BSTR
  Push $5   ; 1: started by the shell
  Push $6   ; 1: COM was initialised here
  Push $7   ; the desktop's window, which FindWindowSW also gives
  StrCpy $5 0
  StrCpy $4 "$INSTDIR\${EXE}"
  System::Call "user32::GetShellWindow() p .r0"
  ${If} $0 P<> 0
    System::Call "ole32::CoInitialize(p 0) i .r0"
    StrCpy $6 0
    ${IfThen} $0 >= 0 ${|} StrCpy $6 1 ${|}
    ; Zeroed, so the second is VT_EMPTY and the first's value CSIDL_DESKTOP (0).
    System::Alloc ${VARIANTS_BYTES}
    Pop $3
    System::Call "*$3(&i2 ${VT_I4})"
    StrCpy $1 0
    ${Do}
      System::Call "ole32::CoCreateInstance(g '${CLSID_ShellWindows}', p 0, i ${CLSCTX_LOCAL_SERVER}, g '${IID_IShellWindows}', *p .r1) i .r0"
      ${IfThen} $0 <> 0 ${|} ${ExitDo} ${|}
      ; IShellWindows::FindWindowSW
      IntPtrOp $0 $3 + ${VARIANT_BYTES}
      System::Call "$1->15(p r3, p r0, i ${SWC_DESKTOP}, *i .r7, i ${SWFO_NEEDDISPATCH}, *p .r2) i .r0"
      !insertmacro SHELL_NEXT
      System::Call "$1->0(g '${IID_IServiceProvider}', *p .r2) i .r0"
      !insertmacro SHELL_NEXT
      ; IServiceProvider::QueryService
      System::Call "$1->3(g '${SID_STopLevelBrowser}', g '${IID_IShellBrowser}', *p .r2) i .r0"
      !insertmacro SHELL_NEXT
      ; IShellBrowser::QueryActiveShellView
      System::Call "$1->15(*p .r2) i .r0"
      !insertmacro SHELL_NEXT
      ; IShellView::GetItemObject(SVGIO_BACKGROUND)
      System::Call "$1->15(i 0, g '${IID_IDispatch}', *p .r2) i .r0"
      !insertmacro SHELL_NEXT
      System::Call "$1->0(g '${IID_IShellFolderViewDual}', *p .r2) i .r0"
      !insertmacro SHELL_NEXT
      ; IShellFolderViewDual::get_Application
      System::Call "$1->7(*p .r2) i .r0"
      !insertmacro SHELL_NEXT
      System::Call "$1->0(g '${IID_IShellDispatch2}', *p .r2) i .r0"
      !insertmacro SHELL_NEXT
      ; IShellDispatch2::ShellExecute(file, arguments, folder, verb, show): the last four empty.
      ; VARIANTs go by value, which on x64 is a pointer to each.
      System::Call "oleaut32::SysAllocString(w r4) p .r4"
      IntPtrOp $0 $3 + ${VARIANT_BYTES}
      System::Call "$1->31(p r4, p r0, p r0, p r0, p r0) i .r0"
      ${IfThen} $0 = 0 ${|} StrCpy $5 1 ${|}
      System::Call "oleaut32::SysFreeString(p r4)"
      ${ExitDo}
    ${Loop}
    ${If} $1 P<> 0
      System::Call "$1->2()"
    ${EndIf}
    System::Free $3
    ${IfThen} $6 = 1 ${|} System::Call "ole32::CoUninitialize()" ${|}
  ${EndIf}
  ${If} $5 = 0
    Exec '"$INSTDIR\${EXE}"'
  ${EndIf}
  Pop $7
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

Function FinishPageShow
  ; No "Start now" when setup already started it again, or when it could only report that the
  ; driver is missing.
  ${If} $WasRunning = 1
  ${OrIf} $DriverFound = 0
    SendMessage $mui.FinishPage.Run ${BM_SETCHECK} ${BST_UNCHECKED} 0
    ShowWindow $mui.FinishPage.Run ${SW_HIDE}
  ${EndIf}
  ${If} $DriverFound = 0
    SendMessage $mui.FinishPage.Text ${WM_SETTEXT} 0 "STR:${PRODUCT} has been installed on your computer.$\r$\n$\r$\nBefore you start it, install the teVirtualMIDI driver: ${PRODUCT} needs it to create its virtual MIDI ports.$\r$\n$\r$\nClick Finish to close Setup."
  ${EndIf}
FunctionEnd

; The files installed beside the program, in one list for setup and the uninstaller. The
; program itself goes first and on its own (see the sections); scripts/package.sh ships the same
; files in the zip.
!macro FOR_EACH_OTHER_FILE do
  !insertmacro ${do} README.txt
  !insertmacro ${do} LICENSE.txt
  !insertmacro ${do} LICENSE-RtMidi.txt
  !insertmacro ${do} LICENSE-cJSON.txt
  !insertmacro ${do} LICENSE-readerwriterqueue.txt
  !insertmacro ${do} LICENSE-mingw-w64-runtime.txt
!macroend
!macro INSTALL_FILE name
  File "${STAGE}\${name}"
!macroend
!macro REMOVE_FILE name
  Delete "$INSTDIR\${name}"
!macroend

Section "Install"
  SetShellVarContext current
  Call EndOwnTessivane

  CreateDirectory "$INSTDIR"
  ; The Run value must match the path the program later gets for itself, so use the folder's
  ; real spelling on disk rather than however it was typed.
  StrCpy $0 $INSTDIR
  Call LongPath
  StrCpy $INSTDIR $0

  SetOutPath "$INSTDIR"
  ; The diagnostics tool first: its window may still be open (it waits for Enter), and then
  ; nothing else may change.
  ${Do}
    ClearErrors
    SetOverwrite try
    File "${STAGE}\${CHECK_EXE}"
    SetOverwrite on
    ${IfNot} ${Errors}
      ${ExitDo}
    ${EndIf}
    DetailPrint "${CHECK_EXE} could not be replaced: it is in use."
    Call DiagnosticsOpen
  ${Loop}
  ; Then the program, before anything else changes: a Tessivane started again since it was ended
  ; holds it, and then setup stops as when one does not end. ("try" sets the error flag, where
  ; "on" would ask, or in a silent run end with NSIS's own code.)
  ${Do}
    ClearErrors
    SetOverwrite try
    File "${STAGE}\${EXE}"
    SetOverwrite on
    ${IfNot} ${Errors}
      ${ExitDo}
    ${EndIf}
    DetailPrint "${EXE} could not be replaced: it is in use."
    Call StillRunning
    Call EndOwnTessivane
  ${Loop}
  !insertmacro FOR_EACH_OTHER_FILE INSTALL_FILE
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0 \
    SW_SHOWNORMAL "" "Share MIDI outputs between applications"
  CreateShortcut "$SMPROGRAMS\${CHECK_TITLE}.lnk" "$INSTDIR\${CHECK_EXE}" "" "$INSTDIR\${CHECK_EXE}" 0 \
    SW_SHOWNORMAL "" "What keeps Tessivane from working, and what to do"

  ${If} $Logon = 1
    WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" "$INSTDIR\${EXE}"
  ${Else}
    Call RemoveOwnRunValue
  ${EndIf}

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; The program loads the driver from System32 or from its own folder.
  StrCpy $DriverFound 0
  ${If} ${FileExists} "$SYSDIR\${DRIVER_DLL}"
  ${OrIf} ${FileExists} "$INSTDIR\${DRIVER_DLL}"
    StrCpy $DriverFound 1
  ${Else}
    DetailPrint "The teVirtualMIDI driver is not installed: ${DRIVER_DLL} is not in $SYSDIR."
    MessageBox MB_OK|MB_ICONEXCLAMATION "${PRODUCT} is installed, but it cannot work yet: the teVirtualMIDI driver is not installed on this computer (${DRIVER_DLL} was not found in $SYSDIR).$\r$\n$\r$\n${PRODUCT} needs this driver to create its virtual MIDI ports. Install the teVirtualMIDI driver, then start ${PRODUCT} from the Start menu." /SD IDOK
  ${EndIf}

  ${If} $WasRunning = 1
    DetailPrint "Starting ${PRODUCT} again"
    Call StartTessivane
  ${EndIf}
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  Call un.EndOwnTessivane

  ; The two programs first: while something holds one (a copy started again meanwhile, the
  ; diagnostics window), stop here rather than remove the entry and orphan it.
  ${Do}
    ClearErrors
    Delete "$INSTDIR\${CHECK_EXE}"
    ${IfNot} ${Errors}
      ${ExitDo}
    ${EndIf}
    DetailPrint "${CHECK_EXE} could not be removed: it is in use."
    Call un.DiagnosticsOpen
  ${Loop}
  ${Do}
    ClearErrors
    Delete "$INSTDIR\${EXE}"
    ${IfNot} ${Errors}
      ${ExitDo}
    ${EndIf}
    DetailPrint "${EXE} could not be removed: it is in use."
    Call un.StillRunning
    Call un.EndOwnTessivane
  ${Loop}
  !insertmacro FOR_EACH_OTHER_FILE REMOVE_FILE
  Delete "$INSTDIR\uninstall.exe"
  ; Not recursive: files the user put there (a driver DLL beside the program) stay, and so does
  ; the folder then.
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${CHECK_TITLE}.lnk"
  Call un.RemoveOwnRunValue
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; The stored output choices (HKCU\SOFTWARE\Velmora\Tessivane) are the user's and stay.
SectionEnd
