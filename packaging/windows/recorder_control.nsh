; Stopping and starting the running recorder, for the installer and the uninstaller.

; The recorder's hidden main window: closing it is the recorder's orderly end, the same as "EXIT"
; in its tray menu answered with yes, without the question. Calls not yet written stay in the
; call journal of its working folder for the next start.
!define RECORDER_WINDOW_CLASS "TMAIN_FRM"
!define RECORDER_WINDOW_TITLE "Caller ID"
; The recorder gives its database writer 1 s to finish; this is ample.
!define STOP_PATIENCE_STEPS 80  ; of 250 ms
; Without the main window, and after taskkill: a start-up box closes, or a forced end completes,
; within moments.
!define KILL_PATIENCE_STEPS 20  ; of 250 ms

!macro RECORDER_CONTROL un
; Ends every running recorder, so that its program file can be replaced or removed: in order
; where it has its main window; else (a start-up box, say, where a vendor's DLL cannot be loaded)
; by closing its windows, then by force. A recorder that will not end stops the installation or
; the removal, with exit code 2, before anything was changed.
Function ${un}StopRecorder
  StrCpy $R3 ${KILL_PATIENCE_STEPS}  ; no main window: a process just ending, or one at a box
  FindWindow $R0 "${RECORDER_WINDOW_CLASS}" "${RECORDER_WINDOW_TITLE}"
  ${If} $R0 != 0
    StrCpy $R3 ${STOP_PATIENCE_STEPS}
    DetailPrint "$(StoppingRecorder)"
    SendMessage $R0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    StrCpy $R1 0
    ${Do}
      FindWindow $R0 "${RECORDER_WINDOW_CLASS}" "${RECORDER_WINDOW_TITLE}"
      ${If} $R0 == 0
      ${OrIf} $R1 >= ${STOP_PATIENCE_STEPS}
        ${Break}
      ${EndIf}
      IntOp $R1 $R1 + 1
      Sleep 250
    ${Loop}
  ${EndIf}
  Call ${un}WaitForProgramFile
  ${If} $R2 == 1
    Return
  ${EndIf}
  ; Still running without its main window, or not ending: every window of it closed as taskkill
  ; closes them (a start-up box answered), then ended by force.
  DetailPrint "$(EndingRecorder)"
  nsExec::Exec '"$SYSDIR\taskkill.exe" /IM "${EXE}"'
  Pop $R0
  StrCpy $R3 ${KILL_PATIENCE_STEPS}
  Call ${un}WaitForProgramFile
  ${If} $R2 == 1
    Return
  ${EndIf}
  nsExec::Exec '"$SYSDIR\taskkill.exe" /F /IM "${EXE}"'
  Pop $R0
  Call ${un}WaitForProgramFile
  ${If} $R2 == 1
    Return
  ${EndIf}
  DetailPrint "$(RecorderWillNotEnd)"
  MessageBox MB_OK|MB_ICONSTOP "$(RecorderWillNotEnd)" /SD IDOK
  SetErrorLevel 2
  Abort "$(RecorderWillNotEnd)"
FunctionEnd

; Waits up to $R3 steps for the program file to be free: Windows keeps it locked while the
; process runs, which outlives its window. $R2: 1 once free (or not there), else 0.
Function ${un}WaitForProgramFile
  StrCpy $R1 0
  StrCpy $R2 0
  ${Do}
    ${IfNot} ${FileExists} "$INSTDIR\${EXE}"
      StrCpy $R2 1
      Return
    ${EndIf}
    ClearErrors
    FileOpen $R0 "$INSTDIR\${EXE}" a
    ${IfNot} ${Errors}
      FileClose $R0
      StrCpy $R2 1
      Return
    ${EndIf}
    IntOp $R1 $R1 + 1
    ${If} $R1 >= $R3
      Return
    ${EndIf}
    Sleep 250
  ${Loop}
FunctionEnd
!macroend

!insertmacro RECORDER_CONTROL ""
!insertmacro RECORDER_CONTROL "un."

; STARTUPINFOW, all zero but its size, and PROCESS_INFORMATION.
!if ${ARCH} == amd64
  !define STARTUPINFO_SIZE 104
!else
  !define STARTUPINFO_SIZE 68
!endif
!define PROCESS_INFORMATION_SIZE 24
!define PROCESS_QUERY_LIMITED_INFORMATION 0x1000
!define TOKEN_DUPLICATE_QUERY 0xA
; TOKEN_ASSIGN_PRIMARY, _DUPLICATE, _QUERY, _ADJUST_DEFAULT and _ADJUST_SESSIONID: what
; CreateProcessWithTokenW needs of a primary token.
!define TOKEN_FOR_PROCESS 0x18B

; Started as the user who is logged on, in the working folder, as the logon shortcut starts it:
; with the token of that user's shell (Explorer), not with this installer's administrator rights.
; An elevated recorder would reach SQL Server as the administrator (a trusted login that works
; now and fails after the next logon) and would miss TaskbarCreated from the user's Explorer.
; With no Explorer (an installation while no one is logged on), it starts at the next logon.
Function StartRecorder
  DetailPrint "$(StartingRecorder)"
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  Call StartRecorderAsShellUser
  ${If} $0 == 1
    DetailPrint "$(StartedAsUser)"
  ${ElseIf} $0 == 0
    DetailPrint "$(RecorderStartsAtLogon)"
  ${Else}
    ; The shell's token refused (the Secondary Logon service disabled): Explorer itself opens
    ; the logon shortcut, in the user's own rights.
    DetailPrint "CreateProcessWithTokenW: $0"
    Exec '"$WINDIR\explorer.exe" "$SMSTARTUP\${PRODUCT}.lnk"'
  ${EndIf}
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; $0: 1 started; 0 no shell to take the user from; else the Windows error code.
Function StartRecorderAsShellUser
  StrCpy $0 0
  ; The user's Explorer: by its desktop window, else by its taskbar (Wine has only the taskbar,
  ; made moments after Wine's desktop starts).
  StrCpy $2 0
  ${Do}
    System::Call 'user32::GetShellWindow() p .r1'
    ${If} $1 == 0
      FindWindow $1 "Shell_TrayWnd"
    ${EndIf}
    ${If} $1 != 0
    ${OrIf} $2 >= 10
      ${Break}
    ${EndIf}
    IntOp $2 $2 + 1
    Sleep 200
  ${Loop}
  ${If} $1 == 0
    Return
  ${EndIf}
  System::Call 'user32::GetWindowThreadProcessId(p r1, *i .r2)'
  System::Call 'kernel32::OpenProcess(i ${PROCESS_QUERY_LIMITED_INFORMATION}, i 0, i r2) p .r3 ?e'
  Pop $0
  ${If} $3 == 0
    Return
  ${EndIf}
  System::Call 'advapi32::OpenProcessToken(p r3, i ${TOKEN_DUPLICATE_QUERY}, *p .r4) i .r5 ?e'
  Pop $0
  System::Call 'kernel32::CloseHandle(p r3)'
  ${If} $5 == 0
    Return
  ${EndIf}
  System::Call 'advapi32::DuplicateTokenEx(p r4, i ${TOKEN_FOR_PROCESS}, p 0, i 2, i 1, *p .r6) i .r5 ?e'
  Pop $0
  System::Call 'kernel32::CloseHandle(p r4)'
  ${If} $5 == 0
    Return
  ${EndIf}
  System::Alloc ${STARTUPINFO_SIZE}
  Pop $1
  System::Call '*$1(i ${STARTUPINFO_SIZE})'
  System::Alloc ${PROCESS_INFORMATION_SIZE}
  Pop $2
  StrCpy $3 '"$INSTDIR\${EXE}"'
  System::Call 'advapi32::CreateProcessWithTokenW(p r6, i 0, p 0, w r3, i 0, p 0, w "$WorkDir", p r1, p r2) i .r5 ?e'
  Pop $0
  ${If} $5 != 0
    StrCpy $0 1
    System::Call '*$2(p .r3, p .r4)'
    System::Call 'kernel32::CloseHandle(p r3)'
    System::Call 'kernel32::CloseHandle(p r4)'
  ${ElseIf} $0 == 0
    StrCpy $0 -1
  ${EndIf}
  System::Free $1
  System::Free $2
  System::Call 'kernel32::CloseHandle(p r6)'
FunctionEnd

Function un.DeleteProgramFile
  StrCpy $R1 0
  ${Do}
    ClearErrors
    Delete "$INSTDIR\${EXE}"
    ${IfNot} ${Errors}
      Return
    ${EndIf}
    IntOp $R1 $R1 + 1
    ${If} $R1 >= ${STOP_PATIENCE_STEPS}
      ; Ended, yet held by something else (a virus scanner): gone at the next restart.
      Delete /REBOOTOK "$INSTDIR\${EXE}"
      DetailPrint "$(RecorderStillRunning)"
      Return
    ${EndIf}
    Sleep 250
  ${Loop}
FunctionEnd
