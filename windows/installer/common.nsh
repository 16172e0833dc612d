; The macros both the install and the removal use: waiting until no installed file is in
; use, and a folder's short form.

; Sets $R1 to the first installed file that cannot be opened for writing. Windows refuses it
; for the program and each library while the program runs, and for any file another program
; holds open, so this finds the program running before any file is touched.
!macro FileInUse FILE
  ${If} $R1 == ""
  ${AndIf} ${FileExists} "$INSTDIR\${FILE}"
    ClearErrors
    FileOpen $R2 "$INSTDIR\${FILE}" a
    ${If} ${Errors}
      StrCpy $R1 "$INSTDIR\${FILE}"
    ${Else}
      FileClose $R2
    ${EndIf}
  ${EndIf}
!macroend

; With a window, asks the cashier to close the program until no file is in use; Cancel, and
; a silent run, abort (exit code 2).
!macro WaitUntilClosed
  ${Do}
    StrCpy $R1 ""
    !insertmacro FileInUse "${EXE}"
    !insertmacro INSTALLED_FILES FileInUse
    ${If} $R1 == ""
      ${Break}
    ${EndIf}
    ${If} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(InUse)" /SD IDCANCEL IDCANCEL`
      Abort
    ${EndIf}
  ${Loop}
!macroend

; Sets OUT to the 8.3 form of a folder that exists, else to the folder as written, so that
; C:\PROGRA~1 and C:\Program Files compare equal.
!macro ShortForm OUT FOLDER
  GetFullPathName /SHORT ${OUT} "${FOLDER}"
  ${If} ${OUT} == ""
    StrCpy ${OUT} "${FOLDER}"
  ${EndIf}
!macroend
