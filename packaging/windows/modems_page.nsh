; The page where the shop picks the COM ports of its caller-ID modems, each with the telephone line
; its calls are recorded with. The ports are those Windows lists, by their names in Device
; Manager; a USB modem is written by its identity, the others by their COM names. Others are
; typed in the option's form. After the sections: it selects our driver, by its section's index.

!define MODEM_ROWS 6  ; listed ports with a row each; more are typed

Var ModemPortCount  ; the ports Windows lists
Var hModemOther

!macro _ModemRowVars N
  Var ModemPort${N}
  Var ModemName${N}
  Var hModemPort${N}
  Var hModemLine${N}
!macroend
!insertmacro _ModemRowVars 1
!insertmacro _ModemRowVars 2
!insertmacro _ModemRowVars 3
!insertmacro _ModemRowVars 4
!insertmacro _ModemRowVars 5
!insertmacro _ModemRowVars 6

; The ports for the rows, the first ${MODEM_ROWS} in $ModemPort1 to 6 as POS_CIDR.conf is to name
; them and in $ModemName1 to 6 as the shop knows them. From qelto-cidr-sim ports, which lists
; them with our driver's own code: a USB modem by its identity, so that the driver finds it
; whatever COM port it is given later, with its name in Device Manager ("USB Modem (COM5)"); the
; NSIS System plug-in could reach SetupAPI too, but only by a long script of structures that
; would repeat the driver's rules. Where the tool cannot run, the names under
; HKLM\HARDWARE\DEVICEMAP\SERIALCOMM.
Function ListModemPorts
  StrCpy $ModemPortCount 0
  !macro _ClearRow N
    StrCpy $ModemPort${N} ""
    StrCpy $ModemName${N} ""
    StrCpy $hModemPort${N} ""
  !macroend
  !insertmacro _ClearRow 1
  !insertmacro _ClearRow 2
  !insertmacro _ClearRow 3
  !insertmacro _ClearRow 4
  !insertmacro _ClearRow 5
  !insertmacro _ClearRow 6
  InitPluginsDir
  File "/oname=$PLUGINSDIR\${SIM_TOOL}" "${BINDIR}\${SIM_TOOL}"
  nsExec::ExecToStack '"$PLUGINSDIR\${SIM_TOOL}" ports'
  Pop $0
  Pop $1
  ${If} $0 == 0
    Call AddListedPorts
  ${Else}
    Call AddSerialCommPorts
  ${EndIf}
FunctionEnd

; In: $2, what goes into POS_CIDR.conf; $3, the row's text. The row after the last one filled.
Function AddModemRow
  ${If} $2 == ""
  ${OrIf} $ModemPortCount >= ${MODEM_ROWS}
    Return
  ${EndIf}
  IntOp $ModemPortCount $ModemPortCount + 1
  !macro _SetRow N
    ${If} $ModemPortCount == ${N}
      StrCpy $ModemPort${N} $2
      StrCpy $ModemName${N} $3
    ${EndIf}
  !macroend
  !insertmacro _SetRow 1
  !insertmacro _SetRow 2
  !insertmacro _SetRow 3
  !insertmacro _SetRow 4
  !insertmacro _SetRow 5
  !insertmacro _SetRow 6
FunctionEnd

; In: $1, the tool's lines: the port, its friendly name and its setting, separated by tabs.
Function AddListedPorts
  ${DoWhile} $1 != ""
    StrCpy $R5 $1
    StrCpy $R6 "$\n"
    Call SplitFirst
    StrCpy $1 $R7
    StrCpy $0 $R5 "" -1
    ${If} $0 == "$\r"
      StrCpy $R5 $R5 -1
    ${EndIf}
    StrCpy $R6 "$\t"
    Call SplitFirst
    StrCpy $4 $R5  ; the port
    StrCpy $R5 $R7
    Call SplitFirst
    StrCpy $3 $R5  ; its friendly name, which Windows ends with the port, as a rule
    StrCpy $2 $R7  ; the setting
    StrCpy $R5 $3
    StrCpy $R6 "($4)"
    Call StrContains
    ${If} $R7 == 0
    ${AndIf} $3 != $4
      StrCpy $3 "$3 ($4)"
    ${EndIf}
    Call AddModemRow
  ${Loop}
FunctionEnd

Function AddSerialCommPorts
  StrCpy $0 0
  ${Do}
    ClearErrors
    EnumRegValue $1 HKLM "${MODEM_PORTS_KEY}" $0
    ${If} ${Errors}
    ${OrIf} $1 == ""
    ${OrIf} $0 >= 256
      ${Break}
    ${EndIf}
    IntOp $0 $0 + 1
    ReadRegStr $2 HKLM "${MODEM_PORTS_KEY}" $1
    StrCpy $3 $2
    Call AddModemRow
  ${Loop}
FunctionEnd

; In: $R5 a port. Out: $R5 its line in $Modems, or "" when it is not chosen there.
Function ChosenLineOf
  Push $2
  Push $3
  Push $R6
  Push $R7
  StrCpy $3 $R5
  StrCpy $2 $Modems
  StrCpy $R5 ""
  ${DoWhile} $2 != ""
    StrCpy $R5 $2
    StrCpy $R6 ","
    Call SplitFirst
    StrCpy $2 $R7
    StrCpy $R6 ":"
    Call SplitFirst
    ${If} $R5 == $3
      StrCpy $R5 $R7
      ${Break}
    ${EndIf}
    StrCpy $R5 ""
  ${Loop}
  Pop $R7
  Pop $R6
  Pop $3
  Pop $2
FunctionEnd

; The line a row offers until one is chosen: its number among the lines that no device kept in
; POS_CIDR.conf has (FindModemSections), so with a telephone system on line 1 the first row
; offers 2. In: $R5 the row's number. Out: $R5 the line.
Function DefaultLine
  Push $0  ; the line tried
  Push $1  ; the free lines found
  Push $2
  Push $R6
  Push $R7
  StrCpy $2 $R5
  StrCpy $0 0
  StrCpy $1 0
  ${Do}
    IntOp $0 $0 + 1
    StrCpy $R5 $KeptLines
    StrCpy $R6 ",$0,"
    Call StrContains
    ${If} $R7 == 0
      IntOp $1 $1 + 1
    ${EndIf}
  ${LoopUntil} $1 >= $2
  StrCpy $R5 $0
  Pop $R7
  Pop $R6
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; A row: the port ticked when chosen, and its line (a free one until one is chosen).
!macro _ModemRow N
  !define /math _Y 13 * ${N}
  !define /redef /math _Y ${_Y} + 17
  !define /math _Y2 ${_Y} + 2
  ${If} $ModemPort${N} != ""
    ${NSD_CreateCheckbox} 10u ${_Y}u 180u 12u "$ModemName${N}"
    Pop $hModemPort${N}
    ${NSD_CreateLabel} 200u ${_Y2}u 30u 10u "$(ModemLineLabel)"
    Pop $R0
    StrCpy $R5 $ModemPort${N}
    Call ChosenLineOf
    ${If} $R5 == ""
      StrCpy $R5 ${N}
      Call DefaultLine
    ${Else}
      ${NSD_Check} $hModemPort${N}
    ${EndIf}
    ${NSD_CreateNumber} 230u ${_Y}u 40u 12u "$R5"
    Pop $hModemLine${N}
  ${EndIf}
  !undef _Y
  !undef _Y2
!macroend

; The chosen ports that Windows does not list, for the field where they are typed.
Function UnlistedModems
  StrCpy $2 $Modems
  StrCpy $4 ""
  ${DoWhile} $2 != ""
    StrCpy $R5 $2
    StrCpy $R6 ","
    Call SplitFirst
    StrCpy $2 $R7
    StrCpy $3 $R5
    StrCpy $R6 ":"
    Call SplitFirst
    ${If} $R5 != $ModemPort1
    ${AndIf} $R5 != $ModemPort2
    ${AndIf} $R5 != $ModemPort3
    ${AndIf} $R5 != $ModemPort4
    ${AndIf} $R5 != $ModemPort5
    ${AndIf} $R5 != $ModemPort6
      ${If} $4 != ""
        StrCpy $4 "$4, "
      ${EndIf}
      StrCpy $4 "$4$3"
    ${EndIf}
  ${Loop}
  StrCpy $R0 $4
FunctionEnd

Function ModemsPageShow
  Call IsVendorDriver
  ${If} $R0 == 1
    Abort  ; the vendor's driver is kept, and reads no file of ours
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "$(ModemsTitle)" "$(ModemsSubtitle)"
  nsDialogs::Create 1018
  Pop $R0
  ${If} $R0 == error
    Abort
  ${EndIf}
  nsDialogs::SetRTL $(^RTL)
  Call ListModemPorts
  Call FindModemSections  ; the lines the file's other devices keep
  ${If} $ModemPortCount == 0
    ${NSD_CreateLabel} 0 0 300u 26u "$(ModemsNoneListed)"
  ${Else}
    ${NSD_CreateLabel} 0 0 300u 26u "$(ModemsIntro)"
  ${EndIf}
  Pop $R0
  !insertmacro _ModemRow 1
  !insertmacro _ModemRow 2
  !insertmacro _ModemRow 3
  !insertmacro _ModemRow 4
  !insertmacro _ModemRow 5
  !insertmacro _ModemRow 6
  ${NSD_CreateLabel} 0 110u 72u 10u "$(ModemOtherLabel)"
  Pop $R0
  ; A /MODEMS= that could not be taken is shown as it was given, with what is wrong with it.
  StrCpy $R1 ""
  ${If} $ModemsGiven != ""
    StrCpy $R0 $ModemsGiven
    Call CheckModems
    StrCpy $R0 $ModemsGiven
  ${Else}
    Call UnlistedModems
  ${EndIf}
  !insertmacro _CreateLatinField Text 72 108 90 12 "$R0" $hModemOther
  ${NSD_CreateLabel} 166u 110u 134u 10u "$(ModemOtherHint)"
  Pop $R0
  ${If} $R1 != ""
    ${NSD_CreateLabel} 0 124u 300u 18u "$R1"
    Pop $R0
    SetCtlColors $R0 C00000 transparent
  ${Else}
    ${NSD_CreateLabel} 0 124u 300u 18u "$(ModemsDeviceManager)"
    Pop $R0
  ${EndIf}
  ${If} $ModemPortCount == 0
  ${OrIf} $ModemsGiven != ""
    ${NSD_SetFocus} $hModemOther
  ${Else}
    ${NSD_SetFocus} $hModemPort1
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ModemsPageLeave
  StrCpy $R0 ""
  !macro _ReadRow N
    ${If} $hModemPort${N} != ""
      ${NSD_GetState} $hModemPort${N} $R1
      ${If} $R1 == ${BST_CHECKED}
        ${NSD_GetText} $hModemLine${N} $R1
        StrCpy $R0 "$R0$ModemPort${N}:$R1,"
      ${EndIf}
    ${EndIf}
  !macroend
  !insertmacro _ReadRow 1
  !insertmacro _ReadRow 2
  !insertmacro _ReadRow 3
  !insertmacro _ReadRow 4
  !insertmacro _ReadRow 5
  !insertmacro _ReadRow 6
  ${NSD_GetText} $hModemOther $R1
  StrCpy $R0 "$R0$R1"
  Call CheckModems
  ${If} $R1 != ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "$R1"
    Abort
  ${EndIf}
  StrCpy $Modems $R0
  StrCpy $ModemsGiven ""
  ${If} $Modems != ""
    !insertmacro SelectSection ${SecSimDriver}  ; our driver reads the modems
  ${EndIf}
FunctionEnd
