; The shops' installer, qelto-callerid-setup.exe: the recorder under Program Files, its settings,
; a working folder its users may write, and a start at every logon. In Persian and English.
;
; Built by the Windows build (packaging/windows/CMakeLists.txt) with:
;   makensis -INPUTCHARSET UTF8 -DARCH=x86|amd64 -DVERSION=... -DBINDIR=... -DOUTFILE=...
;            -DICON=... -DMANUALDIR=...
;            [-DSIMDRIVER] qelto-callerid.nsi
; BINDIR holds qelto-callerid.exe, and with SIMDRIVER also our POS_CIDR.dll and qelto-cidr-sim.exe:
; our driver, which simulates a device or reads the caller-ID modems written to POS_CIDR.conf.
; MANUALDIR holds the rendered manual: manual.fa.html, manual.en.html and their images.
;
; Silent installation, for shops that install many PCs (see the manual):
;   qelto-callerid-setup.exe /S [/SERVER=... /DATABASE=... [/LOGIN=sql /USER=... /PASSWORD=...]
;                               | /SQLITE=PATH | /SETTINGS=FILE] [/BRANCH=...] [/SIMDRIVER]
;                               [/MODEMS=COM3:1,COM4:2] [/NOSTART] [/D=FOLDER]

!macro _Require NAME
  !ifndef ${NAME}
    !error "${NAME} must be defined (see the top of this file)"
  !endif
!macroend
!insertmacro _Require ARCH
!insertmacro _Require VERSION
!insertmacro _Require BINDIR
!insertmacro _Require OUTFILE
!insertmacro _Require ICON
!insertmacro _Require MANUALDIR

!if ${ARCH} == amd64
  Target amd64-unicode
!else
  Unicode true
!endif
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!define PRODUCT "QELTO Caller ID"
!define EXE "qelto-callerid.exe"
!define SETTINGS_FILE "Server_Config.dll"
!define DRIVER_FILE "POS_CIDR.dll"
!define SIM_TOOL "qelto-cidr-sim.exe"
!define PRODUCT_KEY "Software\QELTO\Caller ID"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QELTO Caller ID"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
!if ${ARCH} == amd64
  InstallDir "$PROGRAMFILES64\${PRODUCT}"
!else
  InstallDir "$PROGRAMFILES\${PRODUCT}"
!endif
InstallDirRegKey HKLM "${PRODUCT_KEY}" "InstallFolder"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "QELTO"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "nsDialogs.nsh"
!include "Sections.nsh"
!include "WinMessages.nsh"

Var WorkDir        ; the working folder: log.txt, the call journal, rejected-calls.txt
Var FinishState   ; the finish page's first paragraph: running, or no caller-ID driver yet

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_LANGDLL_REGISTRY_ROOT HKLM
!define MUI_LANGDLL_REGISTRY_KEY "${PRODUCT_KEY}"
!define MUI_LANGDLL_REGISTRY_VALUENAME "InstallerLanguage"
!define MUI_COMPONENTSPAGE_NODESC

; The product's name with no-break spaces: the wide Persian title broke it before "ID".
!define MUI_WELCOMEPAGE_TITLE "$(WelcomeTitle)"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
Page custom SettingsPageShow SettingsPageLeave
!ifdef SIMDRIVER
  Page custom ModemsPageShow ModemsPageLeave
!endif
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "$(FinishTitle)"
!define MUI_FINISHPAGE_TEXT "$FinishState$(FinishWorkDirText)"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "$(UnFinishTitle)"
!define MUI_FINISHPAGE_TEXT "$(UnKeptText)"
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "Farsi"
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_RESERVEFILE_LANGDLL

!include "texts_en.nsh"
!include "texts_fa.nsh"
!include "command_line.nsh"
!include "recorder_control.nsh"
!include "settings_page.nsh"
!include "manual.nsh"
!ifdef SIMDRIVER
  !include "modems.nsh"
!endif

Section "!$(SecRecorderName)" SecRecorder
  SectionIn RO
  Call StopRecorder
  SetOutPath "$INSTDIR"
  File "${BINDIR}\${EXE}"
  Call MakeWorkingFolder
  Call WriteSettingsOnce
  WriteUninstaller "$INSTDIR\uninstall.exe"
  Call RegisterInstallation
  Call MakeShortcuts
SectionEnd

Section "-Manual"
  Call InstallManual
SectionEnd

!ifdef SIMDRIVER
Section /o "$(SecSimDriverName)" SecSimDriver
  SetOutPath "$INSTDIR"
  File "${BINDIR}\${SIM_TOOL}"
  ; A vendor's driver already here is never replaced; ours from before is, by this one, which may
  ; read more devices.
  Call IsVendorDriver
  ${If} $R0 == 1
    DetailPrint "$(DriverKept)"
  ${Else}
    File "${BINDIR}\${DRIVER_FILE}"
    ; Remembered by size, so the uninstaller removes our driver but not a vendor's put here later,
    ; and a later installation tells the two apart.
    ${GetSize} "$INSTDIR" "/M=${DRIVER_FILE} /S=0B /G=0" $R0 $R1 $R2
    WriteRegDWORD HKLM "${PRODUCT_KEY}" "SimulatedDriverSize" $R0
  ${EndIf}
SectionEnd

Section "-Caller-ID modems"
  Call WriteModemConfig
SectionEnd
!include "modems_page.nsh"
!else
Section "-no simulated driver in this build" SecSimDriver
SectionEnd
!endif

Section "-Start the recorder"
  StrCpy $FinishState "$(FinishText)"
  ${IfNot} ${FileExists} "$INSTDIR\${DRIVER_FILE}"
    ; Said instead of "runs in the notification area", which it does not.
    StrCpy $FinishState "$(NoDriverText)"
    DetailPrint "$(NoDriverText)"
    Return
  ${EndIf}
  StrCpy $R8 "/NOSTART"
  Call FindArgument
  ${If} $R2 == 1
    Return
  ${EndIf}
  Call StartRecorder
SectionEnd

; After the sections, whose indexes it uses.
Function .onInit
  !if ${ARCH} == amd64
    SetRegView 64
  !endif
  SetShellVarContext all
  StrCpy $WorkDir "$APPDATA\${PRODUCT}"  ; with the "all" context: C:\ProgramData\...
  StrCpy $R8 "/SIMDRIVER"
  Call FindArgument
  ${If} $R2 == 1
    !insertmacro SelectSection ${SecSimDriver}
  ${EndIf}
  Call ReadSettingsOptions
  Call CheckSilentSettings
  !ifdef SIMDRIVER
    Call ReadModemOptions
    ${If} $Modems != ""
      !insertmacro SelectSection ${SecSimDriver}  ; our driver reads the modems
    ${EndIf}
    ; An upgrade brings our driver from before up to date with the recorder.
    Call IsVendorDriver
    ${If} $R0 == 0
    ${AndIf} ${FileExists} "$INSTDIR\${DRIVER_FILE}"
      !insertmacro SelectSection ${SecSimDriver}
    ${EndIf}
  !endif
  ${IfNot} ${Silent}
    !insertmacro MUI_LANGDLL_DISPLAY
  ${EndIf}
  ; The recorder's name is bold in the list of components, but not in Persian: at the page's size
  ; (8 points) Tahoma Bold draws Persian from its small bitmaps, which under Wine lack the letters'
  ; dots ("برنامه ثبت تماس" read as dotless strokes). The plain face has them.
  ${If} $LANGUAGE == ${LANG_FARSI}
    !insertmacro ClearSectionFlag ${SecRecorder} ${SF_BOLD}
  ${EndIf}
FunctionEnd

Function MakeWorkingFolder
  CreateDirectory "$WorkDir"
  ; The recorder runs as the user who logs on, and Program Files is not theirs to write: the
  ; working folder is, for every user of the PC (BUILTIN\Users may modify).
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$WorkDir" /grant *S-1-5-32-545:(OI)(CI)M'
  Pop $R0
  ${If} $R0 != 0
    DetailPrint "icacls: $R0"
  ${EndIf}
FunctionEnd

Function MakeShortcuts
  ; "Start in" of a shortcut is the output folder at its making: the working folder.
  SetOutPath "$WorkDir"
  CreateShortCut "$SMSTARTUP\${PRODUCT}.lnk" "$INSTDIR\${EXE}"
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\${EXE}"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\$(WorkDirShortcut).lnk" "$WorkDir"
  SetOutPath "$INSTDIR"
FunctionEnd

Function RegisterInstallation
  WriteRegStr HKLM "${PRODUCT_KEY}" "InstallFolder" "$INSTDIR"
  WriteRegStr HKLM "${PRODUCT_KEY}" "WorkingFolder" "$WorkDir"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "QELTO"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
FunctionEnd

; --- The uninstaller -------------------------------------------------------------------------

Function un.onInit
  !if ${ARCH} == amd64
    SetRegView 64
  !endif
  SetShellVarContext all
  ReadRegStr $WorkDir HKLM "${PRODUCT_KEY}" "WorkingFolder"
  ${If} $WorkDir == ""
    StrCpy $WorkDir "$APPDATA\${PRODUCT}"
  ${EndIf}
  !insertmacro MUI_UNGETLANGUAGE
FunctionEnd

Section "Uninstall"
  Call un.StopRecorder
  Delete "$SMSTARTUP\${PRODUCT}.lnk"
  ; Our own folder of the Start menu, its shortcuts named in the installation's language.
  RMDir /r "$SMPROGRAMS\${PRODUCT}"
  Call un.DeleteProgramFile
  Delete "$INSTDIR\${SIM_TOOL}"
  Call un.DeleteOurDriver
  Call un.RemoveManual
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: the settings (and a vendor's driver) stay.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; A later installation asks for the language again and finds the same working folder, which
  ; holds the journal, by its fixed place.
  DeleteRegKey HKLM "${PRODUCT_KEY}"
  DeleteRegKey /ifempty HKLM "Software\QELTO"
  DetailPrint "$(UnKeptShort)"
SectionEnd

Function un.DeleteOurDriver
  ReadRegDWORD $R3 HKLM "${PRODUCT_KEY}" "SimulatedDriverSize"
  ${If} $R3 == ""
    Return
  ${EndIf}
  ${GetSize} "$INSTDIR" "/M=${DRIVER_FILE} /S=0B /G=0" $R0 $R1 $R2
  ${If} $R0 == $R3
    Delete "$INSTDIR\${DRIVER_FILE}"
  ${Else}
    DetailPrint "$(DriverKept)"
  ${EndIf}
FunctionEnd
