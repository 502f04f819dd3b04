; What the install and uninstall sections call (file_type.nsh, user_path.nsh
; and their removals): the folder of the program on the user's PATH, so that
; `dialpix` runs dialpix.com in Command Prompt and PowerShell. They use $0 to
; $6 as they please.
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh

!define DIALPIX_USER_ENV 'HKCU "Environment"'
!define DIALPIX_KEY "Software\dialpix\dialpix"

Var DialpixPath  ; the user's PATH, read or rebuilt
Var DialpixFound ; how many of its entries name the program's folder

!macro DIALPIX_PATH_FUNCTIONS UN
; The user's own PATH in $DialpixPath ("" when there is none); the error flag
; when it cannot be read whole: NSIS strings hold 1024 characters, and a PATH
; is left alone rather than cut short.
Function ${UN}DialpixReadPath
  StrCpy $DialpixPath ""
  ClearErrors
  ; RRF_RT_ANY | RRF_NOEXPAND: the length of the stored text, %VARIABLES% unexpanded.
  System::Call 'advapi32::RegGetValueW(p 0x80000001, w "Environment", w "Path", \
                i 0x1000ffff, p 0, p 0, *i 0 r1) i .r0'
  ${If} $0 = 2  ; ERROR_FILE_NOT_FOUND
    Return
  ${EndIf}
  StrLen $2 "$INSTDIR"
  IntOp $1 $1 / 2  ; bytes to characters, the final zero included
  IntOp $1 $1 + $2
  ${If} $0 <> 0
  ${OrIf} $1 >= ${NSIS_MAX_STRLEN}
    SetErrors
    Return
  ${EndIf}
  ReadRegStr $DialpixPath ${DIALPIX_USER_ENV} "Path"
FunctionEnd

; $DialpixPath without the entries that name the program's folder, how many
; there were in $DialpixFound. Every other entry stays as it was.
Function ${UN}DialpixWithoutFolder
  StrCpy $1 ""  ; the PATH kept
  StrCpy $2 ""  ; the entry being read
  StrCpy $3 0   ; where
  StrCpy $5 0   ; 1 once an entry is kept
  StrCpy $DialpixFound 0
  ${Do}
    StrCpy $4 $DialpixPath 1 $3
    ${If} $4 == ";"
    ${OrIf} $4 == ""
      ${If} $2 == "$INSTDIR"  ; (letter case aside, as Windows reads names)
      ${OrIf} $2 == "$INSTDIR\"
        IntOp $DialpixFound $DialpixFound + 1
      ${Else}
        ${If} $5 = 1
          StrCpy $1 "$1;"
        ${EndIf}
        StrCpy $1 "$1$2"
        StrCpy $5 1
      ${EndIf}
      StrCpy $2 ""
    ${Else}
      StrCpy $2 "$2$4"
    ${EndIf}
    IntOp $3 $3 + 1
  ${LoopUntil} $4 == ""
  StrCpy $DialpixPath $1
FunctionEnd
!macroend
!insertmacro DIALPIX_PATH_FUNCTIONS ""
!insertmacro DIALPIX_PATH_FUNCTIONS "un."
