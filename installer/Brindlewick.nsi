; The Windows installer of the manager (NSIS 3, Unicode). Built by
; scripts/build-win32-installer.sh from the program folder that
; scripts/build-win32-manager.sh lays out:
;   makensis -DPROGRAM_FOLDER=<folder> -DVERSION=<a.b.c.d> -DOUTFILE=<exe> Brindlewick.nsi
; Installs that folder whole, creates the data folder, optionally the log-on
; autostart entry exactly as the settings page writes it, and registers an
; uninstaller. A running manager is asked to exit first; the service is
; stopped before files are replaced or removed.
Unicode true
!include "LogicLib.nsh"
!include "Sections.nsh"

!ifndef PROGRAM_FOLDER
  !error "PROGRAM_FOLDER is not defined (the folder from scripts/build-win32-manager.sh)"
!endif
!ifndef VERSION
  !define VERSION "0.0.0.0"
!endif
!ifndef OUTFILE
  !define OUTFILE "Brindlewick-${VERSION}-setup.exe"
!endif

!define PRODUCT "Brindlewick"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define RUN_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Run"
; The manager holds this named block while it runs (its single-instance check).
!define INSTANCE_BLOCK "KestrixAppShowWindowShareMemory"
!define DATA_FOLDER "$COMMONPROGRAMDATA\Kestrix"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} installer"
VIAddVersionKey "LegalCopyright" "Kestrix"

Page directory
Page components
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

LangString RunningText 1033 "${PRODUCT} is running. Exit it (the tray icon's menu, Exit), then choose Retry."
LangString RunningText 1034 "${PRODUCT} se está ejecutando. Ciérrelo (menú del icono de la bandeja, Salir) y elija Reintentar."
LangString KeepDataText 1033 "Keep the downloaded drivers and the settings of ${PRODUCT}?"
LangString KeepDataText 1034 "¿Conservar los controladores descargados y la configuración de ${PRODUCT}?"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\English.nlf"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\Spanish.nlf"

; Waits until no manager runs: Retry asks again, Cancel leaves the installer
; (or uninstaller) without touching a file, exit code 2.
!macro WaitForManagerToExit
  ${Do}
    System::Call 'kernel32::OpenFileMappingW(i 4, i 0, w "${INSTANCE_BLOCK}") p .r0'
    ${If} $0 = 0
      ${Break}
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r0)'
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(RunningText)" /SD IDCANCEL IDRETRY +3
    SetErrorLevel 2
    Quit
  ${Loop}
!macroend

; The manager registers the service with the Service Control Manager
; ("BrindlewickService", started with the system): a stop request lets it
; clear the adapter's status on the way out. Up to ten seconds for it to end,
; then a copy still running (or one started from a console) is ended.
!macro StopService
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i 1) p .r2'
  ${If} $2 P<> 0
    ; SERVICE_QUERY_STATUS | SERVICE_STOP
    System::Call 'advapi32::OpenServiceW(p r2, w "BrindlewickService", i 0x24) p .r3'
    ${If} $3 P<> 0
      System::Call '*(i, i, i, i, i, i, i) p .r4'
      System::Call 'advapi32::ControlService(p r3, i 1, p r4) i .r0'
      StrCpy $1 0
      ${Do}
        System::Call 'advapi32::QueryServiceStatus(p r3, p r4) i .r0'
        System::Call '*$4(i, i .r5)'
        ${If} $0 = 0
        ${OrIf} $5 = 1
        ${OrIf} $1 >= 20
          ${Break}
        ${EndIf}
        Sleep 500
        IntOp $1 $1 + 1
      ${Loop}
      System::Free $4
      System::Call 'advapi32::CloseServiceHandle(p r3)'
    ${EndIf}
    System::Call 'advapi32::CloseServiceHandle(p r2)'
  ${EndIf}
  nsExec::Exec 'taskkill /F /IM BrindlewickService.exe'
  Pop $0
!macroend

Function .onInit
  !insertmacro WaitForManagerToExit
FunctionEnd

Section "${PRODUCT}" SecProgram
  SectionIn RO
  !insertmacro StopService
  SetOutPath "$INSTDIR"
  File /r "${PROGRAM_FOLDER}/*"
  CreateDirectory "${DATA_FOLDER}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Kestrix"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Brindlewick.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Brindlewick.exe"
SectionEnd

; The log-on entry as the settings page writes it: the executable's full path,
; unquoted, then " -z" (start in the tray). Off unless chosen.
Section /o "Start with Windows" SecAutostart
  WriteRegStr HKLM "${RUN_KEY}" "${PRODUCT}" "$INSTDIR\Brindlewick.exe -z"
SectionEnd

Function un.onInit
  !insertmacro WaitForManagerToExit
FunctionEnd

Section "Uninstall"
  !insertmacro StopService
  ; Its registration would point at a program that is gone.
  nsExec::Exec 'sc.exe delete BrindlewickService'
  Pop $0
  DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; The program folder is ours whole; what the user keeps lives outside it.
  SetOutPath "$TEMP"
  RMDir /r "$INSTDIR"
  MessageBox MB_YESNO|MB_ICONQUESTION "$(KeepDataText)" /SD IDYES IDYES keep
    RMDir /r "${DATA_FOLDER}"
    DeleteRegKey HKCU "Software\Settings\${PRODUCT}"
    DeleteRegKey /ifempty HKCU "Software\Settings"
  keep:
SectionEnd
