; The shops' manual, in Persian and English, in the program folder's "manual", with a Start-menu
; entry for each language whatever the installer's own language: a shop's technician may read
; either.

!define MANUAL_FOLDER "manual"

Function InstallManual
  SetOutPath "$INSTDIR\${MANUAL_FOLDER}"
  File "${MANUALDIR}\manual.fa.html"
  File "${MANUALDIR}\manual.en.html"
  SetOutPath "$INSTDIR\${MANUAL_FOLDER}\images"
  File "${MANUALDIR}\images\*.png"
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\راهنما.lnk" "$INSTDIR\${MANUAL_FOLDER}\manual.fa.html"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\Manual.lnk" "$INSTDIR\${MANUAL_FOLDER}\manual.en.html"
  SetOutPath "$INSTDIR"
FunctionEnd

; The Start-menu entries go with the product's folder of the Start menu.
Function un.RemoveManual
  RMDir /r "$INSTDIR\${MANUAL_FOLDER}"
FunctionEnd
