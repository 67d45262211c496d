; Small string tools for reading lists and POS_CIDR.conf: in $R5 (and $R6), out $R5 (and $R7).

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
