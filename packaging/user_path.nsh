; Offers the program's folder for the user's PATH, yes by default (and with
; /S); /NOPATH on the installer's command line says no. What was added is
; remembered, so that the uninstaller takes away only that (user_path_removal.nsh).
${GetParameters} $0
ClearErrors
${GetOptions} $0 "/NOPATH" $1
${If} ${Errors}
  MessageBox MB_YESNO|MB_ICONQUESTION "Add $INSTDIR to your PATH, so that the command \
    dialpix runs in Command Prompt and PowerShell?" /SD IDYES IDNO dialpix_path_done
  Call DialpixReadPath
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONINFORMATION "Your PATH is too long for this installer to change \
      safely, so it was left as it is; add $INSTDIR to it yourself." /SD IDOK
    Goto dialpix_path_done
  ${EndIf}
  StrCpy $6 $DialpixPath
  Call DialpixWithoutFolder
  ${If} $DialpixFound = 0  ; already there: nothing to add, nothing to take away later
    ${If} $6 == ""
      StrCpy $6 "$INSTDIR"
    ${Else}
      StrCpy $6 "$6;$INSTDIR"
    ${EndIf}
    WriteRegExpandStr ${DIALPIX_USER_ENV} "Path" "$6"
    WriteRegDWORD SHCTX "${DIALPIX_KEY}" "AddedToPath" 1
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  ${EndIf}
${EndIf}
dialpix_path_done:
