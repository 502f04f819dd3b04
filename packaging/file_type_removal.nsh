; Takes away what file_type.nsh wrote; .gau itself only while it still names
; dialpix, so another program's claim on it is left alone, and gives it back
; to the program that had it before, when that is still there.
DeleteRegKey SHCTX "Software\Classes\dialpix.gauge"
DeleteRegKey SHCTX "Software\Classes\Applications\dialpix.exe"
DeleteRegValue SHCTX "Software\Classes\.gau\OpenWithProgids" "dialpix.gauge"
DeleteRegKey /ifempty SHCTX "Software\Classes\.gau\OpenWithProgids"
ReadRegStr $0 SHCTX "Software\Classes\.gau" ""
ReadRegStr $1 SHCTX "${DIALPIX_KEY}" "EarlierGaugeType"
${If} $0 == "dialpix.gauge"
  ClearErrors
  EnumRegKey $2 SHCTX "Software\Classes\$1" 0  ; the error flag: no such type any more
  ${If} $1 != ""
  ${AndIfNot} ${Errors}
    WriteRegStr SHCTX "Software\Classes\.gau" "" "$1"
  ${Else}
    DeleteRegValue SHCTX "Software\Classes\.gau" ""
  ${EndIf}
${EndIf}
DeleteRegKey /ifempty SHCTX "Software\Classes\.gau"
System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
; The installer's own key, and the vendor key above it once that is empty.
DeleteRegKey SHCTX "Software\dialpix\dialpix"
DeleteRegKey /ifempty SHCTX "Software\dialpix"
