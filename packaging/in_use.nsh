; A dialpix still running holds its program file, which would stay behind
; while the uninstall reported success: it is closed first, or nothing is
; removed and the uninstall fails (status 2; with /S at once).
dialpix_in_use_retry:
StrCpy $1 0
${ForEach} $0 0 1 + 1
  ${If} $0 = 0
    StrCpy $2 "$INSTDIR\dialpix.exe"
  ${Else}
    StrCpy $2 "$INSTDIR\dialpix.com"
  ${EndIf}
  ${If} ${FileExists} "$2"
    ClearErrors
    FileOpen $3 "$2" a  ; refused while the program runs
    ${If} ${Errors}
      StrCpy $1 1
    ${Else}
      FileClose $3
    ${EndIf}
  ${EndIf}
${Next}
${If} $1 = 1
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "dialpix is running. Close its windows and any \
    dialpix command in a console window, then choose Retry." /SD IDCANCEL IDRETRY dialpix_in_use_retry
  SetErrorLevel 2
  Abort "dialpix is running; nothing was removed."
${EndIf}
