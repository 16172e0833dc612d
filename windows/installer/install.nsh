; The install: the checks of the chosen folder, the start-up options, the program started
; from the last page, and the section that writes the files, the entry and the shortcuts.

; The folder the cashier agreed to share with files this product did not install.
Var SharedFolder
; 1 when the cashier, or /DOWNGRADE, agreed to replace a newer version with this one.
Var Downgrade

; Sets $R1 to the first file this version would write that is already there and, in the
; install its entry names, not recorded there as installed by it.
!macro FileClash FILE
  ${If} $R1 == ""
  ${AndIf} ${FileExists} "$INSTDIR\${FILE}"
    StrCpy $R1 "${FILE}"
    ${If} $R0 == "ours"
      ClearErrors
      ReadRegStr $R5 HKCU "${UNINSTALL_KEY}\Files" "${FILE}"
      ${IfNot} ${Errors}
        StrCpy $R1 ""
      ${EndIf}
    ${EndIf}
  ${EndIf}
!macroend

!macro RecordFile FILE
  WriteRegStr HKCU "${UNINSTALL_KEY}\Files" "${FILE}" ""
!macroend

; What the chosen folder is to this product, in $R0: "ours" (the install its entry names,
; with or without its uninstaller), "older" (the same, of a newer version, in $R3), "free"
; (missing, empty, or holding only the file test.txt), "others" (files it did not install),
; or "refused" with the reason in $R1. Checked before anything is written.
Function CheckFolder
  StrCpy $R0 "refused"
  ; A full path, as NSIS needs: C:\... or \\server\share\...
  StrCpy $R2 $INSTDIR 2 1
  StrCpy $R3 $INSTDIR 2
  ${If} $R2 != ":\"
  ${AndIf} $R3 != "\\"
    StrCpy $R1 "$(NotAbsolute)"
    Return
  ${EndIf}
  ; A file on the path: no folder can be made there.
  StrCpy $R2 $INSTDIR
  ${DoUntil} $R2 == ""
    ${If} ${FileExists} "$R2\*.*"
      ${Break}
    ${ElseIf} ${FileExists} "$R2"
      StrCpy $R1 "$(NotAFolder)"
      Return
    ${EndIf}
    ${GetParent} $R2 $R2
  ${Loop}
  ${If} $R2 == ""
    StrCpy $R1 "$(NoDrive)"
    Return
  ${EndIf}
  ; The nearest folder there must take a file: a temporary one, made and deleted.
  GetTempFileName $R3 $R2
  StrLen $R4 $R2
  StrCpy $R4 $R3 $R4
  ${If} $R4 != $R2
    Delete $R3
    StrCpy $R1 "$(NotWritable)"
    Return
  ${EndIf}
  Delete $R3

  ReadRegStr $R2 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R2 != ""
    !insertmacro ShortForm $R3 $R2
    !insertmacro ShortForm $R4 $INSTDIR
    ${If} $R3 == $R4
      ; Ours, even when its uninstaller is gone: this install repairs it.
      StrCpy $R0 "ours"
      ReadRegStr $R3 HKCU "${UNINSTALL_KEY}" "DisplayVersion"
      ${VersionCompare} "${VERSION}" $R3 $R4
      ; A file this version writes that the install here did not record as its own.
      ClearErrors
      ReadRegStr $R1 HKCU "${UNINSTALL_KEY}\Files" "Uninstall.exe"
      StrCpy $R1 ""
      ${IfNot} ${Errors}
        !insertmacro INSTALLED_FILES FileClash
      ${EndIf}
      ${If} $R1 != ""
        StrCpy $R0 "refused"
        StrCpy $R1 "$(Clash)"
      ${ElseIf} $R4 == 2
        StrCpy $R0 "older"
      ${EndIf}
      Return
    ${ElseIf} ${FileExists} "$R2\*.*"
      StrCpy $R1 "$(Elsewhere)"
      Return
    ${EndIf}
    ; The folder the entry names is gone: the entry is left from a removal by hand.
  ${EndIf}
  StrCpy $R0 "free"
  FindFirst $R3 $R2 "$INSTDIR\*.*"
  ${DoWhile} $R2 != ""
    ${If} $R2 != "."
    ${AndIf} $R2 != ".."
      ${If} $R2 != "test.txt"
      ${OrIf} ${FileExists} "$INSTDIR\$R2\*.*"
        StrCpy $R0 "others"
      ${EndIf}
    ${EndIf}
    FindNext $R3 $R2
  ${Loop}
  FindClose $R3
  ${If} $R0 == "others"
    StrCpy $R1 ""
    !insertmacro INSTALLED_FILES FileClash
    !insertmacro FileClash "Uninstall.exe"
    ${If} $R1 != ""
      StrCpy $R0 "refused"
      StrCpy $R1 "$(Clash)"
    ${EndIf}
  ${EndIf}
FunctionEnd

; NSIS replaces a /D= folder that has a file on its path with the default, and ignores a
; quoted "/D=...", as a program passing a folder with a space writes it; the install would then
; go to the default unasked. The folder asked for is taken back from the command line, as NSIS
; reads it (all that follows /D=, spaces included), or up to the closing quote, to be checked.
Function .onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/DOWNGRADE" $R1
  ${IfNot} ${Errors}
    StrCpy $Downgrade 1
  ${EndIf}
  System::Call 'kernel32::GetCommandLine() t .R0'
  StrLen $R1 $R0
  ${For} $R2 0 $R1
    StrCpy $R3 $R0 4 $R2
    StrCpy $R4 $R0 5 $R2
    ${If} $R3 S== " /D="
      IntOp $R2 $R2 + 4
      StrCpy $INSTDIR $R0 "" $R2
    ${ElseIf} $R4 S== ' "/D='
      IntOp $R2 $R2 + 5
      StrCpy $INSTDIR $R0 "" $R2
      ${WordFind} $INSTDIR '"' "+1{" $INSTDIR
    ${Else}
      ${Continue}
    ${EndIf}
    StrCpy $R3 $INSTDIR 1 -1
    ${If} $R3 == "\"
      StrCpy $INSTDIR $INSTDIR -1
    ${EndIf}
    ${Break}
  ${Next}
FunctionEnd

Function FolderChosen
  Call CheckFolder
  ${If} $R0 == "refused"
    MessageBox MB_OK|MB_ICONSTOP "$R1"
    Abort
  ${ElseIf} $R0 == "others"
    ${IfNot} ${Cmd} `MessageBox MB_YESNO|MB_ICONEXCLAMATION|MB_DEFBUTTON2 "$(Others)" IDYES`
      Abort
    ${EndIf}
    StrCpy $SharedFolder $INSTDIR
  ${ElseIf} $R0 == "older"
  ${AndIf} $Downgrade != 1
    ${IfNot} ${Cmd} `MessageBox MB_YESNO|MB_ICONEXCLAMATION|MB_DEFBUTTON2 "$(Downgrade)" IDYES`
      Abort
    ${EndIf}
    StrCpy $Downgrade 1
  ${EndIf}
  !insertmacro WaitUntilClosed
FunctionEnd

; The program reads its pictures from, and writes test.txt to, its working folder.
Function StartProgram
  SetOutPath "$INSTDIR"
  Exec '"$INSTDIR\${EXE}"'
FunctionEnd

Section
  SetShellVarContext current
  ; Again, for /S, where no page is shown: a silent install refuses where a window would ask.
  Call CheckFolder
  ${If} $R0 == "refused"
    Abort "$R1"
  ${ElseIf} $R0 == "others"
  ${AndIf} $SharedFolder != $INSTDIR
    Abort "$(Others)"
  ${ElseIf} $R0 == "older"
  ${AndIf} $Downgrade != 1
    Abort "$(Downgrade)"
  ${EndIf}
  !insertmacro WaitUntilClosed
  ; An update: the version installed here takes away the files it installed, so that none the
  ; new one no longer ships is left; the shop's files stay. Run from here (_?=), it is waited for.
  ; Without its uninstaller, the files it recorded as its own are taken away instead.
  ${If} $R0 != "free"
  ${AndIf} $R0 != "others"
    ${If} ${FileExists} "$INSTDIR\Uninstall.exe"
      ClearErrors
      ExecWait '"$INSTDIR\Uninstall.exe" /S _?=$INSTDIR' $R1
      ${If} ${Errors}
      ${OrIf} $R1 != 0
        Abort "$(OldNotRemoved)"
      ${EndIf}
    ${Else}
      StrCpy $R2 0
      ${Do}
        ClearErrors
        EnumRegValue $R1 HKCU "${UNINSTALL_KEY}\Files" $R2
        ${IfThen} ${Errors} ${|} ${Break} ${|}
        ${IfThen} $R1 == "" ${|} ${Break} ${|}
        Delete "$INSTDIR\$R1"
        IntOp $R2 $R2 + 1
      ${Loop}
    ${EndIf}
  ${EndIf}

  ; The uninstaller, then the entry: an install stopped half-way can still be removed, and
  ; one that could not write its uninstaller leaves no entry naming it.
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  ${IfNot} ${FileExists} "$INSTDIR\Uninstall.exe"
    Abort "$(NotWritten)"
  ${EndIf}
  DeleteRegKey HKCU "${UNINSTALL_KEY}\Files"
  !insertmacro RecordFile "Uninstall.exe"
  !insertmacro INSTALLED_FILES RecordFile
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${VENDOR}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  ; Run in place (_?=), so that whoever runs it waits for it and reads its true exit code.
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" \
    '"$INSTDIR\Uninstall.exe" /S /SELFREMOVE _?=$INSTDIR'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ; Every file this version ships, each in its folder (NSIS.template.in names the list).
  !include "${INSTALL_FILES_NSH}"

  ; A shortcut's working folder is the output folder at its making.
  SetOutPath "$INSTDIR"
  CreateShortCut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\${EXE}"
  CreateShortCut "$SMPROGRAMS\${APP} orders.lnk" "$INSTDIR"

  ; In KB, of what was installed: the shop's files are not ours.
  FileOpen $R1 "$INSTDIR\Uninstall.exe" r
  FileSeek $R1 0 END $R2
  FileClose $R1
  IntOp $R2 $R2 + ${INSTALLED_BYTES}
  IntOp $R2 $R2 + 1023
  IntOp $R2 $R2 / 1024
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $R2
SectionEnd
