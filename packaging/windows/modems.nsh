; Caller-ID modems on COM ports, read by our driver: chosen on a page of their own
; (modems_page.nsh) or given as /MODEMS=COM3:1,COM4:2, and written as [device] sections of
; POS_CIDR.conf beside our driver.
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
Var ModemSections  ; the numbers of the existing file's modem sections: ",2,4,"

; --- Small string tools: in $R5 (and $R6), out $R5 (and $R7) ---------------------------------

; $R5 without spaces, tabs, CR and LF at either end.
Function TrimBlanks
  Push $0
  ${Do}
    StrCpy $0 $R5 1
    ${If} $0 == " "
    ${OrIf} $0 == "$\t"
    ${OrIf} $0 == "$\r"
    ${OrIf} $0 == "$\n"
      StrCpy $R5 $R5 "" 1
    ${Else}
      ${Break}
    ${EndIf}
  ${Loop}
  ${Do}
    StrCpy $0 $R5 1 -1
    ${If} $0 == " "
    ${OrIf} $0 == "$\t"
    ${OrIf} $0 == "$\r"
    ${OrIf} $0 == "$\n"
      StrCpy $R5 $R5 -1
    ${Else}
      ${Break}
    ${EndIf}
  ${Loop}
  Pop $0
FunctionEnd

; $R5 split at the first $R6 (one character): $R5 the part before it, $R7 the rest ("" without).
Function SplitFirst
  Push $0
  Push $1
  StrCpy $0 0
  StrCpy $R7 ""
  ${Do}
    StrCpy $1 $R5 1 $0
    ${If} $1 == ""
      ${Break}
    ${EndIf}
    ${If} $1 S== $R6
      IntOp $1 $0 + 1
      StrCpy $R7 $R5 "" $1
      StrCpy $R5 $R5 $0
      ${Break}
    ${EndIf}
    IntOp $0 $0 + 1
  ${Loop}
  Pop $1
  Pop $0
FunctionEnd

; $R7 is 1 when $R5 holds $R6 (not case-sensitive), else 0.
Function StrContains
  Push $0
  Push $1
  Push $2
  StrLen $1 $R6
  StrCpy $0 0
  StrCpy $R7 0
  ${Do}
    StrCpy $2 $R5 $1 $0
    ${If} $2 == ""
      ${Break}
    ${EndIf}
    ${If} $2 == $R6
      StrCpy $R7 1
      ${Break}
    ${EndIf}
    IntOp $0 $0 + 1
  ${Loop}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; $R5, decimal digits only and at most $R6 of them, as a number above zero without leading zeros
; (NSIS would read "010" as octal); else "".
Function ToNumber
  Push $0
  Push $1
  StrLen $0 $R5
  ${If} $0 > $R6
    StrCpy $R5 ""
  ${EndIf}
  StrCpy $0 0
  ${Do}
    StrCpy $1 $R5 1 $0
    ${If} $1 == ""
      ${Break}
    ${EndIf}
    ${If} $1 S< "0"
    ${OrIf} $1 S> "9"
      StrCpy $R5 ""
      ${Break}
    ${EndIf}
    IntOp $0 $0 + 1
  ${Loop}
  ${Do}
    StrCpy $1 $R5 1
    ${If} $1 != "0"
      ${Break}
    ${EndIf}
    StrCpy $R5 $R5 "" 1
  ${Loop}
  Pop $1
  Pop $0
FunctionEnd

; --- The list of modems --------------------------------------------------------------------------

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
    StrCpy $3 $R5
    StrCpy $R5 $3 3
    ${If} $R5 != "COM"
      StrCpy $R1 "$(ModemBadPort)"
      ${Break}
    ${EndIf}
    StrCpy $R5 $3 "" 3
    StrCpy $R6 3
    Call ToNumber
    ${If} $R5 == ""
    ${OrIf} $R5 > 255
      StrCpy $R1 "$(ModemBadPort)"
      ${Break}
    ${EndIf}
    StrCpy $3 "COM$R5"
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

; /MODEMS=: a list the installation cannot take stops a silent one before anything is installed,
; with exit code 2.
Function ReadModemOptions
  StrCpy $Modems ""
  StrCpy $R8 "/MODEMS="
  Call FindArgument
  ${If} $R2 != 1
    Return
  ${EndIf}
  StrCpy $R0 $R9
  Call TidyModems
  ${If} $R1 != ""
    ${If} ${Silent}
      SetErrorLevel 2
      Quit
    ${EndIf}
    Return  ; asked again on the page
  ${EndIf}
  StrCpy $Modems $R0
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

; --- POS_CIDR.conf -------------------------------------------------------------------------------

; Sections are counted from 1 at each line starting with "["; the lines before the first are 0.
; A section is a modem's when it holds "kind = modem", read as the driver reads it.
Function FindModemSections
  StrCpy $ModemSections ","
  StrCpy $1 0
  ClearErrors
  FileOpen $0 "$INSTDIR\${MODEMS_FILE}" r
  ${If} ${Errors}
    Return
  ${EndIf}
  ${Do}
    ClearErrors
    FileRead $0 $R5
    ${If} ${Errors}
      ${Break}
    ${EndIf}
    Call TrimBlanks
    StrCpy $2 $R5 1
    ${If} $2 == "["
      IntOp $1 $1 + 1
      ${Continue}
    ${EndIf}
    StrCpy $R6 "="
    Call SplitFirst
    StrCpy $2 $R7
    Call TrimBlanks
    ${If} $R5 S== "kind"
      StrCpy $R5 $2
      Call TrimBlanks
      ${If} $R5 S== "modem"
      ${AndIf} $1 > 0
        StrCpy $ModemSections "$ModemSections$1,"
      ${EndIf}
    ${EndIf}
  ${Loop}
  FileClose $0
FunctionEnd

; $R7 is 1 when section $R5 of the file is a modem's, else 0.
Function IsModemSection
  StrCpy $R6 ",$R5,"
  StrCpy $R5 $ModemSections
  Call StrContains
FunctionEnd

; $R5: the line in $R5 without its blanks; $R6: "blank", "comment", "section" or "key".
Function KindOfLine
  Call TrimBlanks
  StrCpy $R6 $R5 1
  ${If} $R5 == ""
    StrCpy $R6 "blank"
  ${ElseIf} $R6 == "#"
  ${OrIf} $R6 == ";"
    StrCpy $R6 "comment"
  ${ElseIf} $R6 == "["
    StrCpy $R6 "section"
  ${Else}
    StrCpy $R6 "key"
  ${EndIf}
FunctionEnd

; A comment just above a line (no blank line between) goes with that line: the note above a
; modem's section is taken out with it; other comments stay. In: $1 the file, just after a comment;
; $2 the section it is in. Out: $3 "keep" or "drop". The file is left where it was.
Function DecideComment
  Push $4
  Push $6
  FileSeek $1 0 CUR $6
  StrCpy $3 "keep"  ; also at the end of the file
  ${Do}
    ClearErrors
    FileRead $1 $4
    ${If} ${Errors}
      ${Break}
    ${EndIf}
    StrCpy $R5 $4
    Call KindOfLine
    ${If} $R6 == "blank"
      ${Break}
    ${ElseIf} $R6 != "comment"
      StrCpy $R5 $2
      ${If} $R6 == "section"
        IntOp $R5 $2 + 1
      ${EndIf}
      Call IsModemSection
      ${If} $R7 == 1
        StrCpy $3 "drop"
      ${EndIf}
      ${Break}
    ${EndIf}
  ${Loop}
  FileSeek $1 $6 SET
  Pop $6
  Pop $4
FunctionEnd

; Copies what is not a modem's from the file as it was ($1, open for reading) to the new one ($0,
; open for writing), line for line in the system's code page. Blank lines are written one at a
; time, only between lines kept, so no gap is left where a modem's section was taken out.
Function CopyAllButModems
  StrCpy $2 0    ; the section: counted at each "[", 0 before the first
  StrCpy $3 ""   ; what becomes of the comment lines being read
  StrCpy $R3 ""  ; a blank line waiting for a line kept after it
  StrCpy $R4 0   ; 1 once a line was written
  ${Do}
    ClearErrors
    FileRead $1 $4
    ${If} ${Errors}
      ${Break}
    ${EndIf}
    StrCpy $R5 $4
    Call KindOfLine
    StrCpy $8 $R6  ; the line's kind
    ${If} $8 == "blank"
      StrCpy $3 ""
      StrCpy $R3 $4
      ${Continue}
    ${EndIf}
    ${If} $8 == "comment"
      ${If} $3 == ""
        Call DecideComment
      ${EndIf}
    ${Else}
      ${If} $8 == "section"
        IntOp $2 $2 + 1
      ${EndIf}
      StrCpy $R5 $2
      Call IsModemSection
      StrCpy $3 ""
      ${If} $R7 == 1
        ${Continue}
      ${EndIf}
    ${EndIf}
    ${If} $8 == "comment"
    ${AndIf} $3 == "drop"
      ${Continue}
    ${EndIf}
    ${If} $R4 == 1
      FileWrite $0 $R3
    ${EndIf}
    StrCpy $R3 ""
    StrCpy $R4 1
    FileWrite $0 $4
    StrCpy $5 $4 1 -1
    ${If} $5 != "$\n"  ; the file's last line, without an end
      FileWrite $0 "$\r$\n"
    ${EndIf}
  ${Loop}
FunctionEnd

Function WriteModemConfig
  ${If} $Modems == ""
    Return  ; nothing chosen: the file there, if any, is the shop's
  ${EndIf}
  Call IsVendorDriver
  ${If} $R0 == 1
    DetailPrint "$(ModemsNotForVendor)"
    Return
  ${EndIf}
  StrCpy $6 "$INSTDIR\${MODEMS_FILE}"
  StrCpy $7 0  ; 1 when the file was there before
  ${If} ${FileExists} "$6"
    StrCpy $7 1
    Call FindModemSections
    Delete "$6.old"
    ClearErrors
    Rename "$6" "$6.old"
    ${If} ${Errors}
      Abort "$(ModemsNotWritten)"
    ${EndIf}
  ${EndIf}
  ClearErrors
  FileOpen $0 "$6" w
  ${If} ${Errors}
    Abort "$(ModemsNotWritten)"
  ${EndIf}
  ${If} $7 == 1
    FileOpen $1 "$6.old" r
    Call CopyAllButModems
    FileClose $1
  ${Else}
    FileWrite $0 "# Caller-ID devices of the shop, for the driver of ${PRODUCT}: one [device] per$\r$\n"
    FileWrite $0 "# caller-ID modem. Read at the recorder's start: restart it after a change. The other$\r$\n"
    FileWrite $0 "# keys (raw_log, speed, flow, init, caller_id, ring_timeout) are in the README.$\r$\n"
  ${EndIf}
  StrCpy $2 $Modems
  ${DoWhile} $2 != ""
    StrCpy $R5 $2
    StrCpy $R6 ","
    Call SplitFirst
    StrCpy $2 $R7
    StrCpy $R6 ":"
    Call SplitFirst
    FileWrite $0 "$\r$\n[device]$\r$\nkind = modem$\r$\nport = $R5$\r$\nline = $R7$\r$\n"
  ${Loop}
  FileClose $0
  DetailPrint "$(ModemsWritten)"
  ${If} $7 == 1
    DetailPrint "$(ModemsOldKept)"
  ${EndIf}
FunctionEnd
