; The removal: the uninstaller's start-up, which finishes a removal run in place, and the
; section that takes away each file installed, then the shortcuts and the entry.

!macro DeleteInstalled FILE
  Delete "$INSTDIR\${FILE}"
!macroend

!macro RemoveFolder FOLDER
  RMDir "$INSTDIR\${FOLDER}"
!macroend

; The copy that /SELFREMOVE starts: once the uninstaller run in place has ended, it takes the
; uninstaller away, and the folder when nothing else is left in it.
Function un.onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/AFTER=" $R1
  ${IfNot} ${Errors}
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i R1) p .R2'
    ${If} $R2 != 0
      System::Call 'kernel32::WaitForSingleObject(p R2, i -1) i'
      System::Call 'kernel32::CloseHandle(p R2)'
    ${EndIf}
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    Quit
  ${EndIf}
FunctionEnd

; Each file and folder installed, by name: never the folder with all it holds. The entry and
; the shortcuts go last, and only when every file went and they name this folder.
Section "Uninstall"
  SetShellVarContext current
  !insertmacro WaitUntilClosed
  ; Read while the folder is there to be named in its short form.
  ReadRegStr $R1 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  !insertmacro ShortForm $R3 $R1
  !insertmacro ShortForm $R4 $INSTDIR
  ClearErrors
  !insertmacro INSTALLED_FILES DeleteInstalled
  ${If} ${Errors}
    Abort "$(NotRemoved)"
  ${EndIf}
  Delete "$INSTDIR\Uninstall.exe"
  ; Run in place (_?=), as the entry's quiet command runs it, it cannot delete itself: with
  ; /SELFREMOVE, a copy that NSIS starts from %TEMP% waits for it to end, then does.
  ${If} ${FileExists} "$INSTDIR\Uninstall.exe"
    ${GetParameters} $R1
    ClearErrors
    ${GetOptions} $R1 "/SELFREMOVE" $R2
    ${IfNot} ${Errors}
      System::Call 'kernel32::GetCurrentProcessId() i .R2'
      ExecWait '"$INSTDIR\Uninstall.exe" /S /AFTER=$R2'
    ${EndIf}
  ${EndIf}
  !insertmacro INSTALLED_FOLDERS RemoveFolder
  RMDir "$INSTDIR"
  ${If} $R3 == $R4
    Delete "$SMPROGRAMS\${APP}.lnk"
    Delete "$SMPROGRAMS\${APP} orders.lnk"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ${EndIf}
SectionEnd
