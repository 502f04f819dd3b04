; The .gau file type opened by dialpix. SHCTX is HKLM for an install for all
; users (the only place wine reads file types from) and HKCU otherwise.
; A program that opened .gau before stays among those offered for it, and
; gets it back when dialpix goes (file_type_removal.nsh).
ReadRegStr $0 SHCTX "Software\Classes\.gau" ""
${If} $0 != ""
${AndIf} $0 != "dialpix.gauge"
  WriteRegStr SHCTX "Software\Classes\.gau\OpenWithProgids" "$0" ""
  WriteRegStr SHCTX "${DIALPIX_KEY}" "EarlierGaugeType" "$0"
${EndIf}
WriteRegStr SHCTX "Software\Classes\.gau" "" "dialpix.gauge"
WriteRegStr SHCTX "Software\Classes\.gau\OpenWithProgids" "dialpix.gauge" ""
WriteRegStr SHCTX "Software\Classes\dialpix.gauge" "" "Flight simulator gauge file"
WriteRegStr SHCTX "Software\Classes\dialpix.gauge\DefaultIcon" "" "$INSTDIR\dialpix.exe,0"
WriteRegStr SHCTX "Software\Classes\dialpix.gauge\shell\open\command" "" '"$INSTDIR\dialpix.exe" "%1"'
WriteRegStr SHCTX "Software\Classes\Applications\dialpix.exe\SupportedTypes" ".gau" ""
WriteRegStr SHCTX "Software\Classes\Applications\dialpix.exe\shell\open\command" "" '"$INSTDIR\dialpix.exe" "%1"'
System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
