; Stopping and starting the running recorder, for the installer and the uninstaller.

; The recorder's hidden main window: closing it is the recorder's orderly end, the same as "EXIT"
; in its tray menu answered with yes, without the question. Calls not yet written stay in the
; call journal of its working folder for the next start.
!define RECORDER_WINDOW_CLASS "TMAIN_FRM"
!define RECORDER_WINDOW_TITLE "Caller ID"
; The recorder gives its database writer 1 s to finish; this is ample.
!define STOP_PATIENCE_STEPS 80  ; of 250 ms

!macro RECORDER_CONTROL un
Function ${un}StopRecorder
  FindWindow $R0 "${RECORDER_WINDOW_CLASS}" "${RECORDER_WINDOW_TITLE}"
  ${If} $R0 == 0
    Return
  ${EndIf}
  DetailPrint "$(StoppingRecorder)"
  SendMessage $R0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
  StrCpy $R1 0
  ${Do}
    FindWindow $R0 "${RECORDER_WINDOW_CLASS}" "${RECORDER_WINDOW_TITLE}"
    ${If} $R0 == 0
      ${Break}
    ${EndIf}
    IntOp $R1 $R1 + 1
    ${If} $R1 >= ${STOP_PATIENCE_STEPS}
      DetailPrint "$(RecorderStillRunning)"
      Return
    ${EndIf}
    Sleep 250
  ${Loop}
  Call ${un}WaitForProgramFile
FunctionEnd

; The window goes before the process ends; Windows keeps the program file locked until then.
Function ${un}WaitForProgramFile
  StrCpy $R1 0
  ${Do}
    ${IfNot} ${FileExists} "$INSTDIR\${EXE}"
      Return
    ${EndIf}
    ClearErrors
    FileOpen $R2 "$INSTDIR\${EXE}" a
    ${IfNot} ${Errors}
      FileClose $R2
      Return
    ${EndIf}
    IntOp $R1 $R1 + 1
    ${If} $R1 >= ${STOP_PATIENCE_STEPS}
      Return
    ${EndIf}
    Sleep 250
  ${Loop}
FunctionEnd
!macroend

!insertmacro RECORDER_CONTROL ""
!insertmacro RECORDER_CONTROL "un."

; Started from the working folder, as the logon shortcut starts it.
Function StartRecorder
  DetailPrint "$(StartingRecorder)"
  SetOutPath "$WorkDir"
  Exec '"$INSTDIR\${EXE}"'
  SetOutPath "$INSTDIR"
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
      ; Still running, in another user's session perhaps: gone at the next restart.
      Delete /REBOOTOK "$INSTDIR\${EXE}"
      DetailPrint "$(RecorderStillRunning)"
      Return
    ${EndIf}
    Sleep 250
  ${Loop}
FunctionEnd
