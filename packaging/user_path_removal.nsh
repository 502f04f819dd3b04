; Takes the program's folder off the user's PATH when the installer put it
; there, every other entry left as it was.
ReadRegDWORD $0 SHCTX "${DIALPIX_KEY}" "AddedToPath"
${If} $0 = 1
  Call un.DialpixReadPath
  ${IfNot} ${Errors}
    Call un.DialpixWithoutFolder
    ${If} $DialpixPath == ""
      DeleteRegValue ${DIALPIX_USER_ENV} "Path"
    ${Else}
      WriteRegExpandStr ${DIALPIX_USER_ENV} "Path" "$DialpixPath"
    ${EndIf}
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  ${EndIf}
${EndIf}
