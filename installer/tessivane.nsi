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
;   TEST_INPUTS   (optional, the release test's build only) takes what Wine cannot show (the
;                 desktop shell's account and elevation, setup's own elevation) from TESSIVANE_TEST_*
;                 environment variables
;
; Command line (besides NSIS's own /S for a silent run and /D=folder, which must come last):
;   /LOGON=yes|no  start Tessivane at logon or not. Without it a new install leaves it off and an
;                  upgrade keeps what the user had (also when Task Manager switched it off);
;                  /LOGON=yes and the wizard's check box switch it on for real.
;
; The uninstall entry runs uninstall.exe with _?=<its folder>: then NSIS's stub runs our code in
; that first process, which starts a copy of itself from a temporary folder, waits for it and
; ends with its exit code (see un.onInit). Started without _?=, NSIS's stub makes that copy itself
; and ends at once with 0.
;
; Exit codes (installer/README.txt lists them for users; the winget manifest maps them):
;   0 done; 1 cancelled by the user and 2 aborted (NSIS's own: its stub also gives 2 when it
;   fails by itself, with no writable temporary folder or a damaged download, so none of our
;   outcomes uses 0 to 2; 2 also when a file could not be written after the program was
;   replaced, and then a Tessivane that setup ended is started again); 3 to 9, the EXIT_ values
;   below, each with nothing changed. The uninstaller gives 0, 1, 2, 6 and 9.

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
; Task Manager's Startup tab switches a Run value off here, under the same name: a 12-byte
; REG_BINARY whose first byte is odd (03, 07) when off. Absent or even, Windows starts the value.
!define APPROVED_KEY "Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run"
!define HKEY_CURRENT_USER 0x80000001
!define RRF_RT_REG_BINARY 8
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
!define VT_BSTR 8
!define VARIANT_BYTES 24
!define /math FOLDER_VARIANT_AT ${VARIANT_BYTES} * 2
!define /math SHOW_VARIANT_AT ${VARIANT_BYTES} * 3
!define /math VARIANTS_BYTES ${VARIANT_BYTES} * 4
; What setup reads of a process's token: who it runs as and whether it is elevated.
!define TOKEN_QUERY 8
!define TOKEN_USER_CLASS 1
!define TOKEN_ELEVATION_CLASS 20
!define TOKEN_USER_BYTES 256
!define EXIT_BAD_OPTION 3      ; a command-line value setup does not know
!define EXIT_NEWER_INSTALLED 4 ; a newer version is installed
!define EXIT_WINDOWS_TOO_OLD 5 ; older than the program's floor below
!define EXIT_IN_USE 6          ; a Tessivane running from the folder did not end, or its
                               ; executable could not be replaced or removed
!define EXIT_OTHER_FOLDER 7    ; Tessivane is installed in another folder
!define EXIT_OTHER_ACCOUNT 8   ; run as another account than the desktop's ("Run as administrator"
                               ; with other credentials), which would install for that account
!define EXIT_SETUP_RUNNING 9   ; another setup or uninstaller of Tessivane is running
; Held by a running setup or uninstaller, for the current session.
!define SETUP_MUTEX "Velmora.Tessivane.Setup"
!define ERROR_ALREADY_EXISTS 183
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
Var LogonOff       ; 1: the Run value is ours but switched off in Task Manager, and no one asked
                   ; to change it: it stays as it is
Var Upgrade        ; 1: a previous install is there
Var DriverFound    ; 1: the driver's DLL is where the program loads it from
Var WasRunning     ; 1: setup ended a running Tessivane, which it starts again afterwards
Var LogonCheckbox
Var OwnExe         ; $INSTDIR\tessivane.exe as Windows spells it on disk
Var RunValueOwn    ; uninstaller: 1 when the Run value started this installation's program
Var EntryOwn       ; uninstaller: 1 when the uninstall entry is absent or names this folder

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

; Pushes 1 when the Run value starts this installation's program ($OwnExe), else 0. While that
; file exists: a value given by its short (8.3) path is recognised only through it.
!macro DEFINE_RUN_VALUE_IS_OWN prefix
Function ${prefix}RunValueIsOwn
  Push $0
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
  Push $7
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
      ; The name first: resolving the path of every process would touch each one's drive, and
      ; one started from an unreachable network share would stall setup. (A name with ~ may be
      ; the 8.3 spelling of ours.)
      ${GetFileName} $4 $5
      ClearErrors
      ${WordFind} $5 "~" "E*" $7
      ${If} $5 == "${EXE}"
      ${OrIfNot} ${Errors}
        Push $4
        Call ${prefix}IsOwnExe
        Pop $5
        ${If} $5 = 1
          StrCpy $6 $3
          ${Break}
        ${EndIf}
      ${EndIf}
    ${EndIf}
    System::Call "kernel32::CloseHandle(p r3)"
  ${Loop}
  System::Free $0
  StrCpy $0 $6
  Pop $7
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

; Pushes 1 when the file on the stack is absent or can be opened for writing, else 0: a running
; image cannot be, so this tells that a program runs from it without changing anything.
!macro DEFINE_WRITABLE prefix
Function ${prefix}Writable
  Exch $0
  Push $1
  ${If} ${FileExists} "$0"
    ClearErrors
    FileOpen $1 "$0" a
    StrCpy $0 0
    ${IfNot} ${Errors}
      FileClose $1
      StrCpy $0 1
    ${EndIf}
  ${Else}
    StrCpy $0 1
  ${EndIf}
  Pop $1
  Exch $0
FunctionEnd
!macroend
!insertmacro DEFINE_WRITABLE ""
!insertmacro DEFINE_WRITABLE "un."

; Says that a program of the installation is still in use (the message on the stack). Returns
; when the user chooses Retry; on Cancel, and in a silent run, starts again a Tessivane that was
; ended and quits with EXIT_IN_USE: nothing was changed.
!macro DEFINE_STILL_RUNNING prefix
Function ${prefix}InUse
  Exch $0
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION $0 /SD IDCANCEL IDRETRY retry
  DetailPrint "Nothing was changed."
  Call ${prefix}RestartIfEnded
  SetErrorLevel ${EXIT_IN_USE}
  Quit
  retry:
  Pop $0
FunctionEnd
Function ${prefix}StillRunning
  Push "${PRODUCT} is still running from$\r$\n$INSTDIR$\r$\nand did not end, so nothing there was changed.$\r$\n$\r$\nEnd it with Exit in its menu in the notification area (or in Task Manager), then choose Retry."
  Call ${prefix}InUse
FunctionEnd
; The diagnostics tool's window waits for Enter, so it may well be open. Asked before Tessivane
; is ended: an open window must not cost the running program its ports for nothing.
Function ${prefix}WaitForDiagnostics
  Push $0
  ${Do}
    Push "$INSTDIR\${CHECK_EXE}"
    Call ${prefix}Writable
    Pop $0
    ${IfThen} $0 = 1 ${|} ${ExitDo} ${|}
    DetailPrint "${CHECK_EXE} is in use."
    Push "${CHECK_TITLE} is still open from$\r$\n$INSTDIR$\r$\nso nothing there was changed.$\r$\n$\r$\nClose its window, then choose Retry."
    Call ${prefix}InUse
  ${Loop}
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_STILL_RUNNING ""
!insertmacro DEFINE_STILL_RUNNING "un."

; Ends the Tessivane that runs from this installation's folder ($OwnExe) through its own "Exit"
; (so its ports and output connections close as they should) and waits on its process; a copy
; running from elsewhere (a portable one) is left alone. Sets $WasRunning to 1 when it ended one.
; Whatever does not end (no window to take "Exit", a process setup may not open, the executable
; still locked) asks to retry; cancelled, or silent, it quits with EXIT_IN_USE before anything
; is changed.
!macro DEFINE_END_OWN prefix
Function ${prefix}EndOwnTessivane
  Push $0
  Push $1
  Push $2
  Push $3
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
        Push $OwnExe
        Call ${prefix}Writable
        Pop $3
        ${IfThen} $3 = 1 ${|} ${ExitDo} ${|}
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

; On every way out after Tessivane was ended (done, quit, failed): starts it again, unless a copy
; runs from the folder (one seen, or one that holds its executable).
Function ${prefix}RestartIfEnded
  ${If} $WasRunning = 1
    Push $0
    Call ${prefix}OpenOwnProcess
    Pop $0
    ${If} $0 P<> 0
      System::Call "kernel32::CloseHandle(p r0)"
    ${ElseIf} ${FileExists} "$OwnExe"
      Push $OwnExe
      Call ${prefix}Writable
      Pop $0
      ${If} $0 = 1
        DetailPrint "Starting ${PRODUCT} again"
        Call ${prefix}StartTessivane
      ${EndIf}
    ${EndIf}
    Pop $0
  ${EndIf}
FunctionEnd
!macroend
!insertmacro DEFINE_END_OWN ""
!insertmacro DEFINE_END_OWN "un."

; Removes the Run value when $0 (on the stack) is 1, that is when it starts this installation's
; program; a value that starts another copy of Tessivane is that copy's and stays. Task Manager's
; switch for the value goes with it, and also when no Run value is left: a stale switch would
; switch off the next value written under that name.
!macro DEFINE_REMOVE_RUN_VALUE prefix
Function ${prefix}RemoveRunValue
  Exch $0
  ${If} $0 = 1
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
  ClearErrors
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${If} ${Errors}
    DeleteRegValue HKCU "${APPROVED_KEY}" "${RUN_VALUE}"
  ${EndIf}
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_REMOVE_RUN_VALUE ""
!insertmacro DEFINE_REMOVE_RUN_VALUE "un."

; Pushes 1 when Task Manager's Startup tab has switched the Run value off, else 0.
Function LogonSwitchedOff
  Push $0
  Push $1
  Push $2
  StrCpy $2 0
  System::Alloc 16
  Pop $0
  System::Call "advapi32::RegGetValueW(p ${HKEY_CURRENT_USER}, w '${APPROVED_KEY}', w '${RUN_VALUE}', i ${RRF_RT_REG_BINARY}, p 0, p r0, *i 16) i .r1"
  ${If} $1 = 0
    System::Call "*$0(&i1 .r2)"
    IntOp $2 $2 & 1
  ${EndIf}
  System::Free $0
  StrCpy $0 $2
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; One setup or uninstaller at a time: a second one would end and replace what the first is
; installing. The mutex lives as long as this process.
!macro DEFINE_ONE_AT_A_TIME prefix
Function ${prefix}OneAtATime
  Push $0
  System::Call "kernel32::CreateMutexW(p 0, i 0, w '${SETUP_MUTEX}') p .r0 ?e"
  Pop $0
  ${If} $0 = ${ERROR_ALREADY_EXISTS}
    MessageBox MB_OK|MB_ICONSTOP "Another ${PRODUCT} setup or uninstaller is running. Let it finish, then try again.$\r$\n$\r$\nNothing was changed." /SD IDOK
    SetErrorLevel ${EXIT_SETUP_RUNNING}
    Quit
  ${EndIf}
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_ONE_AT_A_TIME ""
!insertmacro DEFINE_ONE_AT_A_TIME "un."

; What setup asks of tokens: its own and the desktop shell's (the process of the shell window).
!macro DEFINE_TOKENS prefix
; Pushes the desktop shell's token (query access), or 0 when there is no shell window or its
; process may not be opened.
Function ${prefix}OpenShellToken
  Push $0
  Push $1
  Push $2
  StrCpy $2 0
  System::Call "user32::GetShellWindow() p .r0"
  ${If} $0 P<> 0
    System::Call "user32::GetWindowThreadProcessId(p r0, *i .r1) i"
    System::Call "kernel32::OpenProcess(i ${PROCESS_QUERY_LIMITED_INFORMATION}, i 0, i r1) p .r0"
    ${If} $0 P<> 0
      System::Call "advapi32::OpenProcessToken(p r0, i ${TOKEN_QUERY}, *p .r2) i .r1"
      ${IfThen} $1 = 0 ${|} StrCpy $2 0 ${|}
      System::Call "kernel32::CloseHandle(p r0)"
    ${EndIf}
  ${EndIf}
  StrCpy $0 $2
  Pop $2
  Pop $1
  Exch $0
FunctionEnd
; Pushes this process's token (query access), or 0.
Function ${prefix}OpenOwnToken
  Push $0
  Push $1
  System::Call "advapi32::OpenProcessToken(p -1, i ${TOKEN_QUERY}, *p .r0) i .r1"
  ${IfThen} $1 = 0 ${|} StrCpy $0 0 ${|}
  Pop $1
  Exch $0
FunctionEnd
; Push a token (0: none); pops it, closes it, and pushes 1 when it is elevated, 0 when not, ""
; when that is not known.
Function ${prefix}TokenElevated
  Exch $0
  Push $1
  Push $2
  StrCpy $2 ""
  ${If} $0 P<> 0
    System::Call "advapi32::GetTokenInformation(p r0, i ${TOKEN_ELEVATION_CLASS}, *i .r2, i 4, *i .r1) i .r1"
    ${If} $1 = 0
      StrCpy $2 ""
    ${ElseIf} $2 <> 0
      StrCpy $2 1
    ${EndIf}
    System::Call "kernel32::CloseHandle(p r0)"
  ${EndIf}
  StrCpy $0 $2
  Pop $2
  Pop $1
  Exch $0
FunctionEnd
; Pushes 1 when this process runs elevated above the desktop's shell. A Tessivane it started
; itself would then run elevated too, and a later setup, started from that desktop, could not
; post it Exit (Windows drops messages to a more elevated process). Without a shell to compare
; with, 0: Wine, for one, has none and counts every process as elevated.
Function ${prefix}ElevatedAboveShell
  Push $0
  Push $1
  Push $2
  Call ${prefix}OpenOwnToken
  Call ${prefix}TokenElevated
  Pop $1
  Call ${prefix}OpenShellToken
  Call ${prefix}TokenElevated
  Pop $2
!ifdef TEST_INPUTS
  ReadEnvStr $0 TESSIVANE_TEST_ELEVATED
  ${IfThen} $0 != "" ${|} StrCpy $1 $0 ${|}
  ReadEnvStr $0 TESSIVANE_TEST_SHELL_ELEVATED
  ${IfThen} $0 != "" ${|} StrCpy $2 $0 ${|}
!endif
  StrCpy $0 0
  ${If} $1 == 1
  ${AndIf} $2 == 0
    StrCpy $0 1
  ${EndIf}
  Pop $2
  Pop $1
  Exch $0
FunctionEnd
!macroend
!insertmacro DEFINE_TOKENS ""
!insertmacro DEFINE_TOKENS "un."

; Push a token (0: none); pops it, closes it, and pushes the account it belongs to (its SID as
; text), or "".
Function TokenAccount
  Exch $0
  Push $1  ; the TOKEN_USER, whose first member points to the SID
  Push $2
  Push $3  ; the SID as text
  Push $4  ; the text Windows allocated
  StrCpy $3 ""
  ${If} $0 P<> 0
    System::Alloc ${TOKEN_USER_BYTES}
    Pop $1
    System::Call "advapi32::GetTokenInformation(p r0, i ${TOKEN_USER_CLASS}, p r1, i ${TOKEN_USER_BYTES}, *i .r2) i .r2"
    ${If} $2 <> 0
      System::Call "*$1(p .r2)"
      System::Call "advapi32::ConvertSidToStringSidW(p r2, *p .r4) i .r2"
      ${If} $2 <> 0
        System::Call "kernel32::lstrcpynW(w .r3, p r4, i ${NSIS_MAX_STRLEN}) p"
        System::Call "kernel32::LocalFree(p r4) p"
      ${EndIf}
    ${EndIf}
    System::Free $1
    System::Call "kernel32::CloseHandle(p r0)"
  ${EndIf}
  StrCpy $0 $3
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; Quits with EXIT_OTHER_ACCOUNT when setup runs as another account than the desktop's: "Run as
; administrator" with another account's credentials would install into that account's profile,
; registry and Start menu, where the user who asked never sees it.
Function RefuseOtherAccount
  Push $0
  Push $1
  Call OpenShellToken
  Call TokenAccount
  Pop $0
!ifdef TEST_INPUTS
  ReadEnvStr $1 TESSIVANE_TEST_SHELL_ACCOUNT
  ${IfThen} $1 != "" ${|} StrCpy $0 $1 ${|}
!endif
  Call OpenOwnToken
  Call TokenAccount
  Pop $1
  ${If} $0 != ""
  ${AndIf} $1 != ""
  ${AndIf} $0 != $1
    MessageBox MB_OK|MB_ICONSTOP "Setup runs as another user account than the one you are logged on with, so it would install ${PRODUCT} for that account.$\r$\n$\r$\nRun setup without $\"Run as administrator$\": it needs no administrator rights.$\r$\n$\r$\nSetup has changed nothing." /SD IDOK
    SetErrorLevel ${EXIT_OTHER_ACCOUNT}
    Quit
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd

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
  Call OneAtATime
  Call RefuseOtherAccount
  StrCpy $WasRunning 0
  StrCpy $Upgrade 0
  ${If} ${FileExists} "$INSTDIR\${EXE}"
    StrCpy $Upgrade 1
  ${EndIf}
  ; Start at logon is on when the Run value starts this installation's program and Task Manager
  ; has not switched it off; an upgrade keeps that unless told otherwise, and leaves a value
  ; switched off as it is.
  Call SetOwnExe
  Call RunValueIsOwn
  Pop $Logon
  StrCpy $LogonOff 0
  ${If} $Logon = 1
    Call LogonSwitchedOff
    Pop $LogonOff
    ${IfThen} $LogonOff = 1 ${|} StrCpy $Logon 0 ${|}
  ${EndIf}
  ${If} $1 != ""
    StrCpy $Logon $1
    StrCpy $LogonOff 0
  ${EndIf}
  ; What the uninstall entry says counts only while its program is there: a folder deleted by
  ; hand, or a roaming profile that took the entry along, leaves a stale one.
  ClearErrors
  ReadRegStr $3 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} ${Errors}
  ${OrIf} $3 == ""
  ${OrIfNot} ${FileExists} "$3\${EXE}"
    Return
  ${EndIf}
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
  StrCpy $1 $INSTDIR
  StrCpy $2 $1 1 -1
  ${IfThen} $2 == "\" ${|} StrCpy $1 $1 -1 ${|}
  Push $3
  Push $1
  Call SamePath
  Pop $2
  ${If} $2 = 0
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is already installed in$\r$\n$3$\r$\n$\r$\nSetup has changed nothing. To update it, install into that folder (without /D=). To have it in$\r$\n$1$\r$\ninstead, uninstall ${PRODUCT} first (your chosen outputs stay stored)." /SD IDOK
    SetErrorLevel ${EXIT_OTHER_FOLDER}
    Quit
  ${EndIf}
FunctionEnd

; A file could not be written after the program was replaced (NSIS's own Retry/Cancel, or an
; abort in a silent run): the Tessivane that setup ended runs again, the new one if it is there.
Function .onInstFailed
  Call RestartIfEnded
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
  ; A choice made here, either way, is the user's: ticked switches it on for real.
  StrCpy $LogonOff 0
  ${NSD_GetState} $LogonCheckbox $0
  ${If} $0 = ${BST_CHECKED}
    StrCpy $Logon 1
  ${Else}
    StrCpy $Logon 0
  ${EndIf}
FunctionEnd

; Starts the installed program the way the desktop starts it: the running shell (Explorer) does
; it, through its IShellDispatch2::ShellExecute (reached from the desktop window's view), shown
; normally and in its own folder. So it runs with the shell's token, not elevated even when setup
; was run as administrator (where a later setup could not post it Exit), and outside setup's
; process tree (which a caller such as PowerShell's Start-Process -Wait waits for). Without such a
; shell (none, or another one) setup starts it itself, unless setup runs elevated above the
; desktop: then it says to start Tessivane from the Start menu.
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
!macro DEFINE_START prefix
Function ${prefix}StartTessivane
  Push $0   ; result of the last call
  Push $1   ; ShellWindows, then each object along the way
  Push $2   ; the next object
  Push $3   ; four VARIANTs: the desktop's place (VT_I4 CSIDL_DESKTOP), nothing (VT_EMPTY), the
            ; folder (VT_BSTR) and how to show it (VT_I4 SW_SHOWNORMAL)
  Push $4   ; the program's path, then as a BSTR
  Push $5   ; 1: started by the shell
  Push $6   ; 1: COM was initialised here
  Push $7   ; the desktop's window, which FindWindowSW also gives
  Push $8   ; the folder as a BSTR
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
      ; IShellDispatch2::ShellExecute(file, arguments, folder, verb, show): no arguments and the
      ; default verb. VARIANTs go by value, which on x64 is a pointer to each; a VARIANT's value
      ; starts 8 bytes in.
      System::Call "oleaut32::SysAllocString(w r4) p .r4"
      StrCpy $0 $INSTDIR
      System::Call "oleaut32::SysAllocString(w r0) p .r8"
      IntPtrOp $0 $3 + ${FOLDER_VARIANT_AT}
      System::Call "*$0(&i2 ${VT_BSTR}, &i2 0, &i4 0, p r8)"
      IntPtrOp $0 $3 + ${SHOW_VARIANT_AT}
      System::Call "*$0(&i2 ${VT_I4}, &i2 0, &i4 0, i ${SW_SHOWNORMAL})"
      IntPtrOp $0 $3 + ${VARIANT_BYTES}
      IntPtrOp $2 $3 + ${FOLDER_VARIANT_AT}
      IntPtrOp $7 $3 + ${SHOW_VARIANT_AT}
      System::Call "$1->31(p r4, p r0, p r2, p r0, p r7) i .r0"
      ${IfThen} $0 = 0 ${|} StrCpy $5 1 ${|}
      System::Call "oleaut32::SysFreeString(p r4)"
      System::Call "oleaut32::SysFreeString(p r8)"
      ${ExitDo}
    ${Loop}
    ${If} $1 P<> 0
      System::Call "$1->2()"
    ${EndIf}
    System::Free $3
    ${IfThen} $6 = 1 ${|} System::Call "ole32::CoUninitialize()" ${|}
  ${EndIf}
  ${If} $5 = 0
    Call ${prefix}ElevatedAboveShell
    Pop $0
    ${If} $0 = 1
      DetailPrint "Setup runs as administrator, so it does not start ${PRODUCT}: start it from the Start menu."
      MessageBox MB_OK|MB_ICONINFORMATION "Setup runs as administrator and could not have the desktop start ${PRODUCT}. Started from here, it would run as administrator too, and a later setup could not end it.$\r$\n$\r$\nStart ${PRODUCT} from the Start menu." /SD IDOK
    ${Else}
      ; In its own folder, as a shortcut starts it.
      SetOutPath "$INSTDIR"
      Exec '"$INSTDIR\${EXE}"'
    ${EndIf}
  ${EndIf}
  Pop $8
  Pop $7
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_START ""
!insertmacro DEFINE_START "un."

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

; The files installed beside the two programs, in one list for setup and the uninstaller. The
; programs themselves go first and on their own (see the sections); scripts/package.sh ships the
; same files in the zip.
!macro FOR_EACH_OTHER_FILE do
  !insertmacro ${do} README.txt
  !insertmacro ${do} LICENSE.txt
  !insertmacro ${do} LICENSE-RtMidi.txt
  !insertmacro ${do} LICENSE-cJSON.txt
  !insertmacro ${do} LICENSE-readerwriterqueue.txt
  !insertmacro ${do} LICENSE-mingw-w64-runtime.txt
!macroend
; Under SetOverwrite try: a text held open (by an editor that locks it) keeps its previous copy,
; rather than stop setup after both programs were replaced.
!macro INSTALL_FILE name
  ClearErrors
  File "${STAGE}\${name}"
  ${If} ${Errors}
    DetailPrint "${name} could not be replaced: it is in use, so its previous copy stays."
  ${EndIf}
!macroend
!macro REMOVE_FILE name
  Delete "$INSTDIR\${name}"
!macroend
; Adds the size of one file of the installation to $1 (bytes).
!macro ADD_FILE_SIZE name
  ClearErrors
  FileOpen $2 "$INSTDIR\${name}" r
  ${IfNot} ${Errors}
    FileSeek $2 0 END $3
    FileClose $2
    IntOp $1 $1 + $3
  ${EndIf}
!macroend

Section "Install"
  SetShellVarContext current
  Call SetOwnExe
  Call WaitForDiagnostics
  Call EndOwnTessivane

  CreateDirectory "$INSTDIR"
  ; The Run value must match the path the program later gets for itself, so use the folder's
  ; real spelling on disk rather than however it was typed.
  StrCpy $0 $INSTDIR
  Call LongPath
  StrCpy $INSTDIR $0

  SetOutPath "$INSTDIR"
  ; The program first, before anything else changes: a Tessivane started again since it was
  ; ended holds it, and then setup stops as when one does not end. ("try" sets the error flag,
  ; where "on" would ask, or in a silent run end with NSIS's own code.)
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
  ; The diagnostics tool was free just before; one started since then makes NSIS ask to retry,
  ; or stop with its 2, and .onInstFailed starts Tessivane again.
  File "${STAGE}\${CHECK_EXE}"
  SetOverwrite try
  !insertmacro FOR_EACH_OTHER_FILE INSTALL_FILE
  SetOverwrite on
  ; The entry names this version only with this version's uninstaller beside it. Otherwise stop:
  ; the previous entry, and the uninstaller that could not be replaced, stay.
  ClearErrors
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} ${Errors}
    DetailPrint "uninstall.exe could not be written."
    MessageBox MB_OK|MB_ICONSTOP "Setup could not write$\r$\n$INSTDIR\uninstall.exe$\r$\n(it is in use), so it stopped before updating ${PRODUCT}'s entry in Settings > Apps.$\r$\n$\r$\nRun setup again." /SD IDOK
    Abort
  ${EndIf}

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0 \
    SW_SHOWNORMAL "" "Share MIDI outputs between applications"
  CreateShortcut "$SMPROGRAMS\${CHECK_TITLE}.lnk" "$INSTDIR\${CHECK_EXE}" "" "$INSTDIR\${CHECK_EXE}" 0 \
    SW_SHOWNORMAL "" "What keeps Tessivane from working, and what to do"

  ${If} $Logon = 1
    WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" "$INSTDIR\${EXE}"
    ; Asked for, it is on for real: also when Task Manager had switched it off.
    DeleteRegValue HKCU "${APPROVED_KEY}" "${RUN_VALUE}"
  ${ElseIf} $LogonOff = 0
    Call RunValueIsOwn
    Call RemoveRunValue
  ${EndIf}

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  ; With _?=, so that the uninstaller waits for its copy and ends with its exit code (un.onInit).
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" _?=$INSTDIR'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ; Our files only: the folder may hold others (a driver DLL the user put there).
  StrCpy $1 0
  !insertmacro ADD_FILE_SIZE ${EXE}
  !insertmacro ADD_FILE_SIZE ${CHECK_EXE}
  !insertmacro FOR_EACH_OTHER_FILE ADD_FILE_SIZE
  !insertmacro ADD_FILE_SIZE uninstall.exe
  IntOp $1 $1 + 1023
  IntOp $1 $1 / 1024
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $1

  ; The program loads the driver from System32 or from its own folder.
  StrCpy $DriverFound 0
  ${If} ${FileExists} "$SYSDIR\${DRIVER_DLL}"
  ${OrIf} ${FileExists} "$INSTDIR\${DRIVER_DLL}"
    StrCpy $DriverFound 1
  ${Else}
    DetailPrint "The teVirtualMIDI driver is not installed: ${DRIVER_DLL} is not in $SYSDIR."
    MessageBox MB_OK|MB_ICONEXCLAMATION "${PRODUCT} is installed, but it cannot work yet: the teVirtualMIDI driver is not installed on this computer (${DRIVER_DLL} was not found in $SYSDIR).$\r$\n$\r$\n${PRODUCT} needs this driver to create its virtual MIDI ports. Install the teVirtualMIDI driver, then start ${PRODUCT} from the Start menu." /SD IDOK
  ${EndIf}

  Call RestartIfEnded
SectionEnd

; Started in place (from its own folder with _?=, as the uninstall entry starts it), the
; uninstaller could not remove its own file. NSIS's stub, started without _?=, copies it to the
; temporary folder, starts the copy and ends at once with 0, so the caller never learns the
; outcome. Here this first process makes and starts the copy itself, waits for it and ends with
; its exit code. Its own file stays in use until it ends (NSIS's stub holds it open, so it can be
; neither removed nor moved): when the copy has removed the rest, a second run of the copy,
; with /CLEANUP, removes uninstall.exe and the folder as soon as this process has ended.
Function un.onInit
  SetShellVarContext current
  Push $EXEDIR
  Push $INSTDIR
  Call un.SamePath
  Pop $0
  ${If} $0 = 1
    Call un.RunCopy
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/CLEANUP" $1
  ${IfNot} ${Errors}
    Call un.Cleanup
  ${EndIf}
  Call un.OneAtATime
FunctionEnd

Function un.RunCopy
  ${GetParameters} $1
  InitPluginsDir
  ; Also the copy's working folder: a process's current folder cannot be removed.
  SetOutPath "$PLUGINSDIR"
  StrCpy $0 "$PLUGINSDIR\uninstall.exe"
  StrCpy $2 $EXEPATH
  System::Call "kernel32::CopyFileW(w r2, w r0, i 1) i .r3"
  ${If} $3 <> 0
    ClearErrors
    ExecWait '"$0" $1 _?=$INSTDIR' $4
    ${IfThen} ${Errors} ${|} StrCpy $3 0 ${|}
  ${EndIf}
  ${If} $3 = 0
    MessageBox MB_OK|MB_ICONSTOP "The uninstaller could not start its copy in$\r$\n$PLUGINSDIR$\r$\n$\r$\nNothing was changed." /SD IDOK
    StrCpy $4 2
  ${ElseIf} $4 = 0
    Exec '"$0" /CLEANUP _?=$INSTDIR'
  ${EndIf}
  SetErrorLevel $4
  Quit
FunctionEnd

; Removes uninstall.exe and the folder once the uninstaller that holds it has ended.
Function un.Cleanup
  StrCpy $0 0
  ${Do}
    Delete "$INSTDIR\uninstall.exe"
    ${IfNot} ${FileExists} "$INSTDIR\uninstall.exe"
    ${OrIf} $0 >= ${END_WAIT_MS}
      ${ExitDo}
    ${EndIf}
    Sleep 100
    IntOp $0 $0 + 100
  ${Loop}
  RMDir "$INSTDIR"
  Quit
FunctionEnd

Section "Uninstall"
  SetShellVarContext current
  Call un.SetOwnExe
  Call un.WaitForDiagnostics
  Call un.EndOwnTessivane
  ; Decided while the program's file is still there (see RunValueIsOwn).
  Call un.RunValueIsOwn
  Pop $RunValueOwn
  ; A copy of the uninstaller left in another folder must not take this installation's entry and
  ; shortcuts along.
  StrCpy $EntryOwn 1
  ClearErrors
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${IfNot} ${Errors}
    Push $0
    Push $INSTDIR
    Call un.SamePath
    Pop $EntryOwn
  ${EndIf}

  ; The program first: while something holds it (a copy started again meanwhile), stop here
  ; rather than remove the entry and orphan it.
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
  Delete "$INSTDIR\${CHECK_EXE}"
  !insertmacro FOR_EACH_OTHER_FILE REMOVE_FILE
  ; In use while the uninstaller that started this copy waits for it: then its cleanup run
  ; removes it, and the folder (see un.onInit).
  Delete "$INSTDIR\uninstall.exe"
  ; Not recursive: files the user put there (a driver DLL beside the program) stay, and so does
  ; the folder then.
  RMDir "$INSTDIR"

  ${If} $EntryOwn = 1
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$SMPROGRAMS\${CHECK_TITLE}.lnk"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ${EndIf}
  Push $RunValueOwn
  Call un.RemoveRunValue
  ; The stored output choices (HKCU\SOFTWARE\Velmora\Tessivane) are the user's and stay.
SectionEnd
