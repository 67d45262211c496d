; Caller-ID modems on COM ports, read by our driver: chosen on a page of their own
; (modems_page.nsh) or given as /MODEMS=COM3:1,COM4:2 (a USB modem also by its identity,
; /MODEMS=USB\VID_0572&PID_1340\0001:1), and written as [device] sections of POS_CIDR.conf
; beside our driver (modems_conf.nsh).
;
; $Modems holds the choice in the option's own form, checked and tidied ("COM3:1,COM12:2"), or ""
; for none. With none, an existing POS_CIDR.conf is kept as it is: the shop may have edited it.
; With some, its modem sections are replaced by the chosen ones and the rest of it (raw_log,
; comments, other devices) is kept; the file as it was is saved as POS_CIDR.conf.old.

!define MODEMS_FILE "POS_CIDR.conf"
!define MAX_MODEMS 8        ; the driver runs at most 8 devices
!define MAX_LINE_DIGITS 9   ; line numbers up to 999999999: NSIS counts in 32 bits
!define MODEM_PORTS_KEY "HARDWARE\DEVICEMAP\SERIALCOMM"

Var Modems
Var ModemItem      ; the item a problem is about, for the texts
Var ModemLine      ; and its line
Var ModemsGiven    ; a /MODEMS= an installation at the PC could not take, for the page to show

!include "string_tools.nsh"

; --- The list of modems --------------------------------------------------------------------------

; In: $R5, a port as typed: COM3, or a USB modem's identity as our driver finds it wherever it is
; plugged in, USB\VID_0572&PID_1340\0001 (as qelto-cidr-sim ports gives it; the driver checks the
; rest). Out: $R5 tidied ("com3" becomes "COM3"), or "" when it is neither.
Function TidyPort
  Push $0
  Push $1
  Push $R6
  StrCpy $0 $R5
  StrCpy $R5 ""
  StrCpy $1 $0 3
  ${If} $1 == "COM"
    StrCpy $R5 $0 "" 3
    StrCpy $R6 3
    Call ToNumber
    ${If} $R5 != ""
    ${AndIf} $R5 <= 255
      StrCpy $R5 "COM$R5"
    ${Else}
      StrCpy $R5 ""
    ${EndIf}
  ${Else}
    StrCpy $1 $0 8
    ${If} $1 == "USB\VID_"
      StrCpy $1 $0 5 12
      ${If} $1 == "&PID_"
        StrCpy $R5 $0
      ${EndIf}
      ; An identity is one word.
      StrCpy $1 0
      ${Do}
        StrCpy $R6 $0 1 $1
        ${If} $R6 == ""
          ${Break}
        ${EndIf}
        ${If} $R6 == " "
          StrCpy $R5 ""
        ${EndIf}
        IntOp $1 $1 + 1
      ${Loop}
    ${EndIf}
  ${EndIf}
  Pop $R6
  Pop $1
  Pop $0
FunctionEnd

; In: $R0, modems as typed or given ("com3:1, COM12:2"). Out: $R0 tidied ("COM3:1,COM12:2"); $R1
; "" or, for the shop, what is wrong with it.
Function TidyModems
  Push $0  ; what is left to read
  Push $1  ; the tidied list, with commas at both ends while it is made
  Push $2  ; how many
  Push $3  ; the port
  Push $4  ; the line
  Push $R5
  Push $R6
  Push $R7
  StrCpy $0 $R0
  StrCpy $1 ","
  StrCpy $2 0
  StrCpy $R1 ""
  ${DoWhile} $0 != ""
    StrCpy $R5 $0
    StrCpy $R6 ","
    Call SplitFirst
    StrCpy $0 $R7
    Call TrimBlanks
    ${If} $R5 == ""
      ${Continue}
    ${EndIf}
    StrCpy $ModemItem $R5
    StrCpy $R6 ":"
    Call SplitFirst
    StrCpy $4 $R7
    Call TrimBlanks
    Call TidyPort
    ${If} $R5 == ""
      StrCpy $R1 "$(ModemBadPort)"
      ${Break}
    ${EndIf}
    StrCpy $3 $R5
    StrCpy $R5 $4
    Call TrimBlanks
    StrCpy $R6 ${MAX_LINE_DIGITS}
    Call ToNumber
    ${If} $R5 == ""
      StrCpy $R1 "$(ModemBadLine)"
      ${Break}
    ${EndIf}
    StrCpy $4 $R5
    StrCpy $R5 $1
    StrCpy $R6 ",$3:"
    Call StrContains
    ${If} $R7 == 1
      StrCpy $R1 "$(ModemPortTwice)"
      ${Break}
    ${EndIf}
    StrCpy $R6 ":$4,"
    Call StrContains
    ${If} $R7 == 1
      StrCpy $R1 "$(ModemLineTwice)"
      ${Break}
    ${EndIf}
    IntOp $2 $2 + 1
    ${If} $2 > ${MAX_MODEMS}
      StrCpy $R1 "$(ModemTooMany)"
      ${Break}
    ${EndIf}
    StrCpy $1 "$1$3:$4,"
  ${Loop}
  ${If} $R1 == ""
    StrCpy $R0 $1 "" 1
    StrCpy $R0 $R0 -1
  ${EndIf}
  Pop $R7
  Pop $R6
  Pop $R5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; /MODEMS=: a list the installation cannot take, or one whose lines are those of devices kept in
; POS_CIDR.conf, stops a silent one before anything is installed, with exit code 2. At the PC the
; modems' page shows it with what is wrong, in the language chosen after this.
Function ReadModemOptions
  StrCpy $Modems ""
  StrCpy $ModemsGiven ""
  StrCpy $R8 "/MODEMS="
  Call FindArgument
  ${If} $R2 != 1
    Return
  ${EndIf}
  StrCpy $R0 $R9
  Call CheckModems
  ${If} $R1 != ""
    ${If} ${Silent}
      SetErrorLevel 2
      Quit
    ${EndIf}
    StrCpy $ModemsGiven $R9
    Return
  ${EndIf}
  StrCpy $Modems $R0
FunctionEnd

; TidyModems, then the modems beside the devices the POS_CIDR.conf in the folder keeps (not over
; a vendor's driver, which reads none of it). Uses $0 to $5.
Function CheckModems
  Call TidyModems
  ${If} $R1 != ""
  ${OrIf} $R0 == ""
    Return
  ${EndIf}
  Push $R0
  Call IsVendorDriver
  Pop $R1
  StrCpy $R2 $R0
  StrCpy $R0 $R1
  StrCpy $R1 ""
  ${If} $R2 == 0
    Call CheckKeptDevices
  ${EndIf}
FunctionEnd

; $R0 is 1 when the folder holds a POS_CIDR.dll that is not ours (recognised by the size recorded
; when it was installed): the vendor's, which reads no file of ours. Else 0.
Function IsVendorDriver
  StrCpy $R0 0
  ${IfNot} ${FileExists} "$INSTDIR\${DRIVER_FILE}"
    Return
  ${EndIf}
  ReadRegDWORD $R1 HKLM "${PRODUCT_KEY}" "SimulatedDriverSize"
  ${GetSize} "$INSTDIR" "/M=${DRIVER_FILE} /S=0B /G=0" $R2 $R3 $R4
  ${If} $R1 == ""
  ${OrIf} $R1 != $R2
    StrCpy $R0 1
  ${EndIf}
FunctionEnd

!include "modems_conf.nsh"
