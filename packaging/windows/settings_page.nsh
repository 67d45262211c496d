; Where the calls go: asked on a page of its own, or given on the command line, and written as
; Server_Config.dll (one value per line, by position) only when there is none yet.
;
; Line 1 is not read; 2 the server (or sqlite:PATH, or odbc:DATA-SOURCE); 3 the database; 4 "1" for
; a SQL Server login, anything else for the Windows login; 5 the user; 6 the password; 7 to 9 not
; read; 10 the branch code.

Var Kind            ; sqlserver, sqlite, or file (a prepared settings file: /SETTINGS=)
Var Server
Var Database
Var LoginKind       ; windows or sql
Var User
Var Password
Var SqlitePath
Var Branch
Var SettingsSource  ; /SETTINGS=

Var hKindSqlServer
Var hKindSqlite
Var hServer
Var hDatabase
Var hLoginWindows
Var hLoginSql
Var hUser
Var hPassword
Var hSqlite
Var hBranch

; An option of the command line: when given, the variable is set and $R2 is 1, else $R2 is 0.
!macro _Option NAME VAR
  StrCpy $R8 "/${NAME}="
  Call FindArgument
  ${If} $R2 == 1
    StrCpy ${VAR} $R9
  ${EndIf}
!macroend

Function ReadSettingsOptions
  StrCpy $LoginKind "windows"
  StrCpy $SqlitePath "$WorkDir\calls.sqlite"
  !insertmacro _Option DATABASE $Database
  !insertmacro _Option USER $User
  !insertmacro _Option PASSWORD $Password
  !insertmacro _Option BRANCH $Branch
  !insertmacro _Option LOGIN $LoginKind
  !insertmacro _Option SERVER $Server
  ${If} $R2 == 1
    StrCpy $Kind "sqlserver"
  ${EndIf}
  !insertmacro _Option SQLITE $SqlitePath
  ${If} $R2 == 1
    StrCpy $Kind "sqlite"
  ${EndIf}
  ${If} $SqlitePath == ""  ; "/SQLITE=" alone: the file in the working folder
    StrCpy $SqlitePath "$WorkDir\calls.sqlite"
  ${EndIf}
  !insertmacro _Option SETTINGS $SettingsSource
  ${If} $R2 == 1
    StrCpy $Kind "file"
  ${EndIf}
  ${If} $LoginKind != "sql"
    StrCpy $LoginKind "windows"
  ${EndIf}
  ; Asked for on the page; a silent installation without any goes to SQLite in the working folder,
  ; so no call is lost until the shop's server is set.
  ${If} $Kind == ""
    ${If} ${Silent}
      StrCpy $Kind "sqlite"
    ${Else}
      StrCpy $Kind "sqlserver"
    ${EndIf}
  ${EndIf}
FunctionEnd

; Server names, logins, passwords and paths read left to right on the Persian page too: in a
; right-to-left field ".\SQLEXPRESS" shows as "SQLEXPRESS\.". Such a field is made without the
; page's right-to-left styles, at the place the page's mirroring would have given it (X and W in
; dialog units of the 300-unit-wide page).
!macro _CreateLatinField KIND X Y W H TEXT VAR
  ${If} $(^RTL) == 1
    nsDialogs::SetRTL 0
    IntOp $R7 300 - ${X}
    IntOp $R7 $R7 - ${W}
    ${NSD_Create${KIND}} $R7u ${Y}u ${W}u ${H}u "${TEXT}"
    nsDialogs::SetRTL 1
  ${Else}
    ${NSD_Create${KIND}} ${X}u ${Y}u ${W}u ${H}u "${TEXT}"
  ${EndIf}
  Pop ${VAR}
!macroend

Function SettingsPageShow
  ${If} ${FileExists} "$INSTDIR\${SETTINGS_FILE}"
  ${OrIf} $Kind == "file"
    Abort  ; nothing to ask: the settings there (or given) are kept as they are
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "$(SettingsTitle)" "$(SettingsSubtitle)"
  nsDialogs::Create 1018
  Pop $R0
  ${If} $R0 == error
    Abort
  ${EndIf}
  nsDialogs::SetRTL $(^RTL)  ; Persian: the page mirrored, as the other pages are

  ${NSD_CreateRadioButton} 0 0 150u 12u "$(KindSqlServer)"
  Pop $hKindSqlServer
  ${NSD_AddStyle} $hKindSqlServer ${WS_GROUP}
  ${NSD_OnClick} $hKindSqlServer SettingsPageUpdate
  ${NSD_CreateRadioButton} 160u 0 140u 12u "$(KindSqlite)"
  Pop $hKindSqlite
  ${NSD_OnClick} $hKindSqlite SettingsPageUpdate

  ${NSD_CreateLabel} 10u 18u 52u 10u "$(ServerLabel)"
  Pop $R0
  !insertmacro _CreateLatinField Text 62 16 92 12 "$Server" $hServer
  ${NSD_CreateLabel} 160u 18u 48u 10u "$(DatabaseLabel)"
  Pop $R0
  !insertmacro _CreateLatinField Text 208 16 92 12 "$Database" $hDatabase

  ${NSD_CreateRadioButton} 62u 31u 96u 12u "$(LoginWindows)"
  Pop $hLoginWindows
  ${NSD_AddStyle} $hLoginWindows ${WS_GROUP}
  ${NSD_OnClick} $hLoginWindows SettingsPageUpdate
  ${NSD_CreateRadioButton} 160u 31u 140u 12u "$(LoginSql)"
  Pop $hLoginSql
  ${NSD_OnClick} $hLoginSql SettingsPageUpdate

  ${NSD_CreateLabel} 10u 48u 52u 10u "$(UserLabel)"
  Pop $R0
  !insertmacro _CreateLatinField Text 62 46 92 12 "$User" $hUser
  ${NSD_AddStyle} $hUser ${WS_GROUP}
  ${NSD_CreateLabel} 160u 48u 48u 10u "$(PasswordLabel)"
  Pop $R0
  !insertmacro _CreateLatinField Password 208 46 92 12 "$Password" $hPassword
  ${NSD_CreateLabel} 62u 61u 238u 18u "$(OdbcHint)"
  Pop $R0

  ${NSD_CreateLabel} 10u 88u 52u 10u "$(SqliteLabel)"
  Pop $R0
  !insertmacro _CreateLatinField Text 62 86 238 12 "$SqlitePath" $hSqlite

  ${NSD_CreateLabel} 0 116u 62u 10u "$(BranchLabel)"
  Pop $R0
  ${NSD_CreateText} 62u 114u 92u 12u "$Branch"
  Pop $hBranch
  ${NSD_CreateLabel} 160u 116u 140u 20u "$(BranchHint)"  ; two lines: the Persian is wider
  Pop $R0

  ${If} $Kind == "sqlite"
    ${NSD_Check} $hKindSqlite
  ${Else}
    ${NSD_Check} $hKindSqlServer
  ${EndIf}
  ${If} $LoginKind == "sql"
    ${NSD_Check} $hLoginSql
  ${Else}
    ${NSD_Check} $hLoginWindows
  ${EndIf}
  Push 0  ; in place of the clicked control
  Call SettingsPageUpdate
  ${If} $Kind == "sqlite"
    ${NSD_SetFocus} $hSqlite
  ${Else}
    ${NSD_SetFocus} $hServer
  ${EndIf}
  nsDialogs::Show
FunctionEnd

; Only the fields of the chosen kind and login can be typed in.
Function SettingsPageUpdate
  Pop $R0  ; the clicked control, when called as a click handler (or whatever was on the stack)
  ${NSD_GetState} $hKindSqlServer $R1
  ${NSD_GetState} $hLoginSql $R2
  ${If} $R1 == ${BST_CHECKED}
    StrCpy $R3 1
  ${Else}
    StrCpy $R3 0
  ${EndIf}
  EnableWindow $hServer $R3
  EnableWindow $hDatabase $R3
  EnableWindow $hLoginWindows $R3
  EnableWindow $hLoginSql $R3
  ; The Windows login has neither user nor password.
  ${If} $R2 != ${BST_CHECKED}
    StrCpy $R3 0
  ${EndIf}
  EnableWindow $hUser $R3
  EnableWindow $hPassword $R3
  ${If} $R1 == ${BST_CHECKED}
    StrCpy $R3 0
  ${Else}
    StrCpy $R3 1
  ${EndIf}
  EnableWindow $hSqlite $R3
FunctionEnd

Function SettingsPageLeave
  ${NSD_GetText} $hServer $Server
  ${NSD_GetText} $hDatabase $Database
  ${NSD_GetText} $hUser $User
  ${NSD_GetText} $hPassword $Password
  ${NSD_GetText} $hSqlite $SqlitePath
  ${NSD_GetText} $hBranch $Branch
  ${NSD_GetState} $hKindSqlite $R1
  ${If} $R1 == ${BST_CHECKED}
    StrCpy $Kind "sqlite"
  ${Else}
    StrCpy $Kind "sqlserver"
  ${EndIf}
  ${NSD_GetState} $hLoginSql $R1
  ${If} $R1 == ${BST_CHECKED}
    StrCpy $LoginKind "sql"
  ${Else}
    StrCpy $LoginKind "windows"
  ${EndIf}
  Call CheckSettings
  Pop $R0
  ${If} $R0 != ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "$R0"
    Abort
  ${EndIf}
FunctionEnd

; Pushes what is missing, as a text for the user, or "" when the settings are complete.
Function CheckSettings
  ${If} $Kind == "sqlite"
    ${If} $SqlitePath == ""
      Push "$(NeedSqlitePath)"
      Return
    ${EndIf}
  ${ElseIf} $Server == ""
  ${OrIf} $Database == ""
    Push "$(NeedServerAndDatabase)"
    Return
  ${ElseIf} $LoginKind == "sql"
  ${AndIf} $User == ""
    Push "$(NeedUser)"
    Return
  ${EndIf}
  Push ""
FunctionEnd

; A silent installation with settings it could not write stops before it installs anything:
; exit code 2.
Function CheckSilentSettings
  ${IfNot} ${Silent}
  ${OrIf} ${FileExists} "$INSTDIR\${SETTINGS_FILE}"
    Return
  ${EndIf}
  ${If} $Kind == "file"
    ${IfNot} ${FileExists} "$SettingsSource"
      SetErrorLevel 2
      Quit
    ${EndIf}
    Return
  ${EndIf}
  Call CheckSettings
  Pop $R0
  ${If} $R0 != ""
    SetErrorLevel 2
    Quit
  ${EndIf}
FunctionEnd

; A path without a drive or a share is taken from the working folder: the recorder would take it
; from its own folder, which its users may not write.
Function AbsoluteSqlitePath
  StrCpy $R1 $SqlitePath 1 1
  StrCpy $R2 $SqlitePath 2
  ${If} $R1 != ":"
  ${AndIf} $R2 != "\\"
    StrCpy $SqlitePath "$WorkDir\$SqlitePath"
  ${EndIf}
FunctionEnd

Function WriteSettingsOnce
  ${If} ${FileExists} "$INSTDIR\${SETTINGS_FILE}"
    DetailPrint "$(SettingsKept)"
    Return
  ${EndIf}
  ${If} $Kind == "file"
    ClearErrors
    CopyFiles /SILENT /FILESONLY "$SettingsSource" "$INSTDIR\${SETTINGS_FILE}"
    ${If} ${Errors}
    ${OrIfNot} ${FileExists} "$INSTDIR\${SETTINGS_FILE}"
      Abort "$(SettingsSourceMissing)"
    ${EndIf}
    Return
  ${EndIf}
  Call CheckSettings
  Pop $R0
  ${If} $R0 != ""
    Abort "$R0"  ; a silent installation with incomplete settings
  ${EndIf}
  ${If} $Kind == "sqlite"
    Call AbsoluteSqlitePath
    StrCpy $R5 "sqlite:$SqlitePath"
    StrCpy $R6 "calls"
    StrCpy $R7 "0"
  ${Else}
    StrCpy $R5 $Server
    StrCpy $R6 $Database
    StrCpy $R7 "0"
    ${If} $LoginKind == "sql"
      StrCpy $R7 "1"
    ${EndIf}
  ${EndIf}
  ${If} $R7 != "1"
    StrCpy $Password ""  ; the Windows login has none; never kept where it is not needed
  ${EndIf}
  ClearErrors
  FileOpen $R0 "$INSTDIR\${SETTINGS_FILE}" w
  ${If} ${Errors}
    Abort "$(SettingsNotWritten)"
  ${EndIf}
  ; In the system's code page, as the recorder reads it.
  FileWrite $R0 "${PRODUCT} settings: one value per line; see the manual. This line is not read.$\r$\n"
  FileWrite $R0 "$R5$\r$\n"
  FileWrite $R0 "$R6$\r$\n"
  FileWrite $R0 "$R7$\r$\n"
  FileWrite $R0 "$User$\r$\n"
  FileWrite $R0 "$Password$\r$\n"
  FileWrite $R0 "$\r$\n$\r$\n$\r$\n"
  FileWrite $R0 "$Branch$\r$\n"
  FileClose $R0
  DetailPrint "$(SettingsWritten)"
FunctionEnd
