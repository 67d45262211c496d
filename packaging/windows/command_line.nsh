; The installer's command line, split as Windows splits every program's (CommandLineToArgvW): a
; value in double quotes may hold spaces, ';' and single quotes, and \" is a double quote. So a
; password given to a silent installation arrives as it was typed.

; In: $R8, an option: "/NAME=" asks for its value, "/NAME" for a switch.
; Out: $R2 is 1 when given (the first one counts), else 0; $R9 the value after "=", or "".
Function FindArgument
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  StrCpy $R2 0
  StrCpy $R9 ""
  StrLen $4 $R8
  StrCpy $6 $R8 1 -1
  StrCpy $2 $CMDLINE  ; through a register: the call's text must not hold the line's quotes
  System::Call 'shell32::CommandLineToArgvW(w r2, *i .r1) p .r0'
  ${If} $0 P<> 0
    StrCpy $3 1  ; after the program's own path
    ${DoWhile} $3 < $1
      IntOp $5 $3 * ${NSIS_PTR_SIZE}
      IntPtrOp $5 $0 + $5
      System::Call '*$5(p .r5)'
      System::Call 'kernel32::lstrcpynW(w .r5, p r5, i ${NSIS_MAX_STRLEN})'
      ${If} $6 == "="
        StrCpy $2 $5 $4
        ${If} $2 == $R8  ; not case-sensitive, as Windows' own switches
          StrCpy $R9 $5 "" $4
          StrCpy $R2 1
          ${Break}
        ${EndIf}
      ${ElseIf} $5 == $R8
        StrCpy $R2 1
        ${Break}
      ${EndIf}
      IntOp $3 $3 + 1
    ${Loop}
    System::Call 'kernel32::LocalFree(p r0)'
  ${EndIf}
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
