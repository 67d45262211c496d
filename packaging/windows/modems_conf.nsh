; Writing the chosen modems ($Modems, see modems.nsh) to POS_CIDR.conf beside our driver.

Var ModemSections  ; the numbers of the existing file's modem sections: ",2,4,"

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
