; Takes away what file_type.nsh wrote; .gau itself only while it still names
; dialpix, so another program's claim on it is left alone.
DeleteRegKey SHCTX "Software\Classes\dialpix.gauge"
DeleteRegKey SHCTX "Software\Classes\Applications\dialpix.exe"
DeleteRegValue SHCTX "Software\Classes\.gau\OpenWithProgids" "dialpix.gauge"
DeleteRegKey /ifempty SHCTX "Software\Classes\.gau\OpenWithProgids"
ReadRegStr $0 SHCTX "Software\Classes\.gau" ""
StrCmp $0 "dialpix.gauge" 0 +2
  DeleteRegValue SHCTX "Software\Classes\.gau" ""
DeleteRegKey /ifempty SHCTX "Software\Classes\.gau"
System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
; The installer's own key, and the vendor key above it once that is empty.
DeleteRegKey SHCTX "Software\dialpix\dialpix"
DeleteRegKey /ifempty SHCTX "Software\dialpix"
