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
;   0 done; 1 cancelled by the user (NSIS's own); 2 to 5, the EXIT_ values below, each with
;   nothing changed.

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
; The program's own window class; WM_COMMAND 105 to it is the tray menu's "Exit".
!define WINDOW_CLASS "TESSIVANE"
!define EXIT_COMMAND 105
; Exactly the value the program's "Launch on startup" writes and recognises: this name, the full
; path of the executable, not quoted, no arguments, REG_SZ.
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "Tessivane_x64"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessivane"
!define DRIVER_DLL "teVirtualMIDI64.dll"
; How long one running Tessivane may take to close its ports and end after "Exit".
!define EXIT_WAIT_MS 10000
; Access rights that let setup read a process's image path and wait for it to end.
!define PROCESS_SYNCHRONIZE 0x00100000
!define PROCESS_QUERY_LIMITED_INFORMATION 0x1000
; Room for the process ids of one look at the running processes (4 bytes each).
!define PROCESS_LIST_BYTES 65536
; CompareStringOrdinal's answer for equal texts.
!define CSTR_EQUAL 2
!define EXIT_IN_USE 2          ; a Tessivane running from the folder did not end
!define EXIT_BAD_OPTION 3      ; a command-line value setup does not know
!define EXIT_NEWER_INSTALLED 4 ; a newer version is installed
!define EXIT_WINDOWS_TOO_OLD 5 ; older than the program's floor below
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
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} now"
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishPageShow
!insertmacro MUI_PAGE_FINISH

!define MUI_UNCONFIRMPAGE_TEXT_TOP "${PRODUCT} will be ended if it is running, then removed from your computer. Your chosen outputs stay stored in your registry for a later install; README.txt says how to remove them."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; Ends on a page of its own, with the same picture as setup's, rather than on the bare progress bar.
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "English"

; Sets $OwnExe: this installation's program, in the spelling Windows keeps on disk (long names,
; letter case as created), so that it compares with what a process or the Run value says.
!macro DEFINE_OWN_EXE prefix
Function ${prefix}SetOwnExe
  Push $0
  Push $1
  StrCpy $OwnExe "$INSTDIR\${EXE}"
  System::Call "kernel32::GetLongPathNameW(w '$OwnExe', w .r0, i ${NSIS_MAX_STRLEN}) i .r1"
  ${If} $1 > 0
  ${AndIf} $1 < ${NSIS_MAX_STRLEN}
    StrCpy $OwnExe $0
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_OWN_EXE ""
!insertmacro DEFINE_OWN_EXE "un."

; The one rule for "this is our program's path", as Windows compares paths: ordinal, letter case
; ignored, after the same long-name spelling; a quoted path counts as itself.
; Push the path; pops it and pushes 1 when it is $OwnExe, else 0.
!macro DEFINE_IS_OWN_EXE prefix
Function ${prefix}IsOwnExe
  Exch $0
  Push $1
  Push $2
  StrCpy $1 $0 1
  ${If} $1 == '"'
    StrCpy $0 $0 "" 1
    StrCpy $1 $0 1 -1
    ${IfThen} $1 == '"' ${|} StrCpy $0 $0 -1 ${|}
  ${EndIf}
  System::Call "kernel32::GetLongPathNameW(w r0, w .r1, i ${NSIS_MAX_STRLEN}) i .r2"
  ${If} $2 > 0
  ${AndIf} $2 < ${NSIS_MAX_STRLEN}
    StrCpy $0 $1
  ${EndIf}
  System::Call "kernel32::CompareStringOrdinal(w r0, i -1, w '$OwnExe', i -1, i 1) i .r1"
  StrCpy $0 0
  ${IfThen} $1 = ${CSTR_EQUAL} ${|} StrCpy $0 1 ${|}
  Pop $2
  Pop $1
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
  StrCpy $WasRunning 0
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
          System::Call "user32::PostMessageW(p r2, i ${WM_COMMAND}, p ${EXIT_COMMAND}, p 0) i"
        ${EndIf}
      ${Loop}
      System::Call "kernel32::WaitForSingleObject(p r0, i ${EXIT_WAIT_MS}) i .r1"
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
        ${IfThen} $1 >= ${EXIT_WAIT_MS} ${|} ${ExitDo} ${|}
        Sleep 250
        IntOp $1 $1 + 250
      ${Loop}
      ${IfThen} $3 = 1 ${|} ${Break} ${|}
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${PRODUCT} is still running from$\r$\n$INSTDIR$\r$\nand did not end, so nothing there was changed.$\r$\n$\r$\nEnd it with Exit in its menu in the notification area (or in Task Manager), then choose Retry." /SD IDCANCEL IDRETRY retry
    DetailPrint "${PRODUCT} did not end; nothing was changed."
    SetErrorLevel ${EXIT_IN_USE}
    Quit
    retry:
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

Section "Install"
  SetShellVarContext current
  Call EndOwnTessivane

  CreateDirectory "$INSTDIR"
  ; The Run value must match the path the program later gets for itself, so use the folder's
  ; real spelling on disk rather than however it was typed.
  System::Call "kernel32::GetLongPathNameW(w '$INSTDIR', w .r0, i ${NSIS_MAX_STRLEN}) i .r1"
  ${If} $1 > 0
  ${AndIf} $1 < ${NSIS_MAX_STRLEN}
    StrCpy $INSTDIR $0
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "${STAGE}\${EXE}"
  File "${STAGE}\README.txt"
  File "${STAGE}\LICENSE.txt"
  File "${STAGE}\LICENSE-RtMidi.txt"
  File "${STAGE}\LICENSE-cJSON.txt"
  File "${STAGE}\LICENSE-readerwriterqueue.txt"
  File "${STAGE}\LICENSE-mingw-w64-runtime.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0 \
    SW_SHOWNORMAL "" "Share MIDI outputs between applications"

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
    Exec '"$INSTDIR\${EXE}"'
  ${EndIf}
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  Call un.EndOwnTessivane

  Delete "$INSTDIR\${EXE}"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\LICENSE-RtMidi.txt"
  Delete "$INSTDIR\LICENSE-cJSON.txt"
  Delete "$INSTDIR\LICENSE-readerwriterqueue.txt"
  Delete "$INSTDIR\LICENSE-mingw-w64-runtime.txt"
  Delete "$INSTDIR\uninstall.exe"
  ; Not recursive: files the user put there (a driver DLL beside the program) stay, and so does
  ; the folder then.
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Call un.RemoveOwnRunValue
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; The stored output choices (HKCU\SOFTWARE\Velmora\Tessivane) are the user's and stay.
SectionEnd
