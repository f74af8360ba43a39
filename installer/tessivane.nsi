; Tessivane's per-user installer (NSIS, 64-bit Unicode stub).
; Built by installer/build-installer.sh, which passes:
;   VERSION       the version as people see it, e.g. 1.0 (from the build's generated version.txt)
;   VERSION_QUAD  the same as four numbers, e.g. 1.0.0.0 (for the installer's version resource)
;   STAGE         folder holding exactly the files that are installed
;   OUTFILE       the installer to write
;   ICON          the program's icon, used for the installer and the uninstaller
;   WELCOME_BITMAP  the picture of the welcome and finish pages (164 x 314, from the icon's drawing)
;
; Command line (besides NSIS's own /S for a silent run and /D=folder, which must come last):
;   /LOGON=yes|no  start Tessivane at logon or not. Without it a new install leaves it off and an
;                  upgrade keeps what the user had.

Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh

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
; Access right that lets setup wait for a process to end.
!define PROCESS_SYNCHRONIZE 0x00100000

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

; Ends every running Tessivane through its own "Exit" (so its ports and output connections close
; as they should), waiting for each process to end. Sets $WasRunning to 1 when it ended one.
; When one does not end, asks to retry; a silent run gives up with exit code 2 and changes nothing.
!macro DEFINE_END_RUNNING prefix
Function ${prefix}EndRunningTessivane
  Push $0
  Push $1
  Push $2
  Push $3
  StrCpy $WasRunning 0
  ${Do}
    FindWindow $0 "${WINDOW_CLASS}"
    ${If} $0 = 0
      ${Break}
    ${EndIf}
    System::Call "user32::GetWindowThreadProcessId(p r0, *i .r1) i"
    System::Call "kernel32::OpenProcess(i ${PROCESS_SYNCHRONIZE}, i 0, i r1) p .r2"
    DetailPrint "Ending the running ${PRODUCT} (process $1)"
    System::Call "user32::PostMessageW(p r0, i ${WM_COMMAND}, p ${EXIT_COMMAND}, p 0) i"
    StrCpy $3 1  ; 1: still running
    ${If} $2 <> 0
      System::Call "kernel32::WaitForSingleObject(p r2, i ${EXIT_WAIT_MS}) i .r3"
      System::Call "kernel32::CloseHandle(p r2)"
    ${Else}
      ; No handle to wait on: wait for the window to go instead.
      StrCpy $1 0
      ${Do}
        IsWindow $0 0 window_gone
        ${If} $1 >= ${EXIT_WAIT_MS}
          ${Break}
        ${EndIf}
        Sleep 100
        IntOp $1 $1 + 100
      ${Loop}
      Goto waited
      window_gone:
      StrCpy $3 0
      waited:
    ${EndIf}
    ${If} $3 = 0
      StrCpy $WasRunning 1
    ${Else}
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${PRODUCT} is still running and did not end.$\r$\n$\r$\nEnd it with Exit in its menu in the notification area, then choose Retry." /SD IDCANCEL IDRETRY retry
      DetailPrint "${PRODUCT} did not end; nothing was changed."
      SetErrorLevel 2
      Quit
      retry:
    ${EndIf}
  ${Loop}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_END_RUNNING ""
!insertmacro DEFINE_END_RUNNING "un."

; Removes the Run value when it starts this installation's program, in whatever spelling; a value
; that starts another copy of Tessivane is that copy's and stays.
!macro DEFINE_REMOVE_RUN_VALUE prefix
Function ${prefix}RemoveOwnRunValue
  Push $0
  ClearErrors
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${IfNot} ${Errors}
    ${If} $0 == "$INSTDIR\${EXE}"
    ${OrIf} $0 == '"$INSTDIR\${EXE}"'
      DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
    ${EndIf}
  ${EndIf}
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_REMOVE_RUN_VALUE ""
!insertmacro DEFINE_REMOVE_RUN_VALUE "un."

Function .onInit
  SetShellVarContext current
  StrCpy $Upgrade 0
  ${If} ${FileExists} "$INSTDIR\${EXE}"
    StrCpy $Upgrade 1
  ${EndIf}
  ; Start at logon is on exactly when the program would show it on: the value holds this very
  ; path, letter case included. An upgrade keeps that unless told otherwise.
  StrCpy $Logon 0
  ClearErrors
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${IfNot} ${Errors}
  ${AndIf} $0 S== "$INSTDIR\${EXE}"
    StrCpy $Logon 1
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/LOGON=" $1
  ${IfNot} ${Errors}
    ${If} $1 == "yes"
    ${OrIf} $1 == "1"
      StrCpy $Logon 1
    ${ElseIf} $1 == "no"
    ${OrIf} $1 == "0"
      StrCpy $Logon 0
    ${Else}
      MessageBox MB_OK|MB_ICONSTOP "Unknown value for /LOGON: $1 (use /LOGON=yes or /LOGON=no)." /SD IDOK
      SetErrorLevel 2
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
  Call EndRunningTessivane

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
  Call un.EndRunningTessivane

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
