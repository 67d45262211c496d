; Writing the chosen modems ($Modems, see modems.nsh) to POS_CIDR.conf beside our driver.

Var ModemSections  ; the numbers of the existing file's modem sections: ",2,4,"
Var KeptLines      ; the lines of the devices the file keeps (its other [device] sections): ",4,7,"
Var KeptDevices    ; how many devices the file keeps

; A UTF-8 byte-order mark at the start of the file open as $R5 (Notepad writes one) is passed
; over, as the driver passes over it; without one the file is left at its start. Out: $R7 1 when
; there was one, else 0.
Function SkipByteOrderMark
  Push $0
  Push $1
  Push $2
  StrCpy $R7 0
  ClearErrors
  FileReadByte $R5 $0
  FileReadByte $R5 $1
  FileReadByte $R5 $2
  ${IfNot} ${Errors}
  ${AndIf} $0 == 239
  ${AndIf} $1 == 187
  ${AndIf} $2 == 191
    StrCpy $R7 1
  ${Else}
    FileSeek $R5 0 SET
  ${EndIf}
  ClearErrors
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; The end of a section in FindModemSections: a [device] that is not a modem's stays, and so do the
; lines its calls are reported on.
!macro _EndOfSection
  ${If} $3 == 1
  ${AndIf} $5 == 0
    IntOp $KeptDevices $KeptDevices + 1
    StrCpy $4 $4 "" 1
    StrCpy $KeptLines "$KeptLines$4"
  ${EndIf}
!macroend

; Reads the existing file as the driver reads it. Sections are counted from 1 at each line
; starting with "["; the lines before the first are 0. A section is a modem's when it holds
; "kind = modem"; a "[device]" that is not keeps its "line" and the lines of its "did_line"s.
; Uses $0 to $5.
Function FindModemSections
  StrCpy $ModemSections ","
  StrCpy $KeptLines ","
  StrCpy $KeptDevices 0
  StrCpy $1 0  ; the section
  StrCpy $3 0  ; 1 in a [device]
  StrCpy $4 ","  ; its lines
  StrCpy $5 0  ; 1 when it is a modem's
  ClearErrors
  FileOpen $0 "$INSTDIR\${MODEMS_FILE}" r
  ${If} ${Errors}
    Return
  ${EndIf}
  StrCpy $R5 $0
  Call SkipByteOrderMark
  ${Do}
    ClearErrors
    FileRead $0 $R5
    ${If} ${Errors}
      ${Break}
    ${EndIf}
    Call KindOfLine
    ${If} $R6 == "section"
      !insertmacro _EndOfSection
      IntOp $1 $1 + 1
      StrCpy $3 0
      ${If} $R5 S== "[device]"
        StrCpy $3 1
      ${EndIf}
      StrCpy $4 ","
      StrCpy $5 0
      ${Continue}
    ${ElseIf} $R6 != "key"
    ${OrIf} $1 == 0
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
        StrCpy $5 1
        StrCpy $ModemSections "$ModemSections$1,"
      ${EndIf}
    ${ElseIf} $R5 S== "line"
    ${OrIf} $R5 S== "did_line"
      ${If} $R5 S== "did_line"  ; NUMBER=LINE
        StrCpy $R5 $2
        StrCpy $R6 "="
        Call SplitFirst
        StrCpy $2 $R7
      ${EndIf}
      StrCpy $R5 $2
      Call TrimBlanks
      StrCpy $R6 10
      Call ToNumber
      ${If} $R5 != ""
        StrCpy $4 "$4$R5,"
      ${EndIf}
    ${EndIf}
  ${Loop}
  !insertmacro _EndOfSection
  FileClose $0
FunctionEnd

; The chosen modems ($R0, tidied) beside the devices the file in the folder keeps. Out: $R1 "" or,
; for the shop, what is wrong: a line the driver would give to the kept device and not to the
; modem, or more devices than it runs. Uses $0 to $5.
Function CheckKeptDevices
  StrCpy $R1 ""
  Call FindModemSections
  Push $R0
  StrCpy $2 0  ; how many modems
  ${DoWhile} $R0 != ""
    StrCpy $R5 $R0
    StrCpy $R6 ","
    Call SplitFirst
    StrCpy $R0 $R7
    StrCpy $ModemItem $R5
    StrCpy $R6 ":"
    Call SplitFirst
    StrCpy $ModemLine $R7
    IntOp $2 $2 + 1
    StrCpy $R5 $KeptLines
    StrCpy $R6 ",$ModemLine,"
    Call StrContains
    ${If} $R7 == 1
      StrCpy $R1 "$(ModemLineKept)"
      ${Break}
    ${EndIf}
  ${Loop}
  Pop $R0
  IntOp $2 $2 + $KeptDevices
  ${If} $R1 == ""
  ${AndIf} $2 > ${MAX_MODEMS}
    StrCpy $R1 "$(ModemsTooManyKept)"
  ${EndIf}
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
    StrCpy $R5 $1
    Call SkipByteOrderMark
    ${If} $R7 == 1  ; kept, as the shop's editor wrote it
      FileWriteByte $0 239
      FileWriteByte $0 187
      FileWriteByte $0 191
    ${EndIf}
    Call CopyAllButModems
    FileClose $1
  ${Else}
    FileWrite $0 "# Caller-ID devices of the shop, for the driver of ${PRODUCT}: one [device] per$\r$\n"
    FileWrite $0 "# caller-ID modem. Read at the recorder's start: restart it after a change. The other$\r$\n"
    FileWrite $0 "# keys (raw_log, speed, flow, init, caller_id, ring_timeout) are in the manual.$\r$\n"
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
