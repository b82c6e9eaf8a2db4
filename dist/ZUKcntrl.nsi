; Installer of ZUKcntrl 3.1.0, built with makensis:
;   makensis -DZUK_BIN=<folder of ZUKcntrl.dll, zukcli.exe and the import libraries>
;            -DZUK_SOURCE=<source tree> -DZUK_OUTFILE=<setup program> dist/ZUKcntrl.nsi
;
; Installs into Program Files\KORVA\ZUKcntrl: ZUKcntrl.dll, zukcli.exe, the message catalogue,
; ZUKcntrl.ini (kept when one is already there), the public header (include\) and the import
; libraries for MinGW and MSVC (lib\).  Writes the machine values under
; HKLM\SOFTWARE\KORVA\ZUKLib in the 32-bit registry view (WOW6432Node on 64-bit Windows), where
; the 32-bit library reads them, and an entry in the list of installed programs.
;
;
; Optional component, not selected by default (so not installed by a silent install): the issuing
; station's tool zukcard.exe, which writes users' cards.  It is offered on the components page.
;
; Silent install: setup.exe /S [/D=C:\Other\Folder]  (/D must come last and take no quotes)
; Values: /MODE=0|256|768 /DEVICE=0|1 /CONFIG=0x3 /FELICA=IDM|NONE; an invalid one stops the
; installer before it writes anything (exit code 2).  Over an existing installation every machine
; value the command line does not set is kept, and so is an edited ZUKcntrl.ini.
; Silent removal: uninstall.exe /S (see docs/install.md).

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "FileFunc.nsh"
!include "LogicLib.nsh"

!ifndef ZUK_BIN
  !error "define ZUK_BIN: the folder that holds ZUKcntrl.dll"
!endif
!ifndef ZUK_SOURCE
  !error "define ZUK_SOURCE: the source tree"
!endif
!ifndef ZUK_OUTFILE
  !define ZUK_OUTFILE "ZUKcntrl-3.1.0-setup.exe"
!endif

!define ZUK_VERSION "3.1.0"
!define ZUK_KEY "SOFTWARE\KORVA\ZUKLib"
!define ZUK_UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZUKcntrl"

Name "ZUKcntrl ${ZUK_VERSION}"
OutFile "${ZUK_OUTFILE}"
InstallDir "$PROGRAMFILES\KORVA\ZUKcntrl"
; An upgrade goes where the library is installed already.
InstallDirRegKey HKLM "${ZUK_KEY}" "InstallPath"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${ZUK_VERSION}.0"
VIAddVersionKey "ProductName" "ZUKcntrl"
VIAddVersionKey "CompanyName" "KORVA"
VIAddVersionKey "FileDescription" "ZUKcntrl ${ZUK_VERSION} setup"
VIAddVersionKey "FileVersion" "${ZUK_VERSION}"
VIAddVersionKey "ProductVersion" "${ZUK_VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 KORVA. MIT License."

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var Mode
Var Device
Var Config
Var FeliCa
Var FeliCaAction  ; "keep" the machine's value, "set" it to $FeliCa, or "remove" it

; Stops the installer before anything is written: a message (skipped when silent) and exit code 2.
!macro ZUK_REFUSE TEXT
  MessageBox MB_ICONSTOP "${TEXT}" /SD IDOK
  SetErrorLevel 2
  Abort
!macroend

; (LogicLib: = and <> compare integers, == and != compare texts.)
; $R9 = 1 when $R8 is a number as the options take it: decimal digits without a leading zero,
; or 0x and one to eight hexadecimal digits; anything else (signs, spaces, letters) gives 0.
; Uses $0 to $6.
Function ZukIsNumber
  StrCpy $R9 0
  StrLen $0 $R8
  ${If} $0 = 0
    Return
  ${EndIf}
  StrCpy $1 $R8 2
  StrCpy $2 "0123456789"
  StrCpy $3 0
  ${If} $1 == "0x"
    StrCpy $2 "0123456789abcdefABCDEF"
    StrCpy $3 2
    ${If} $0 < 3
    ${OrIf} $0 > 10
      Return
    ${EndIf}
  ${ElseIf} $0 > 10
    Return
  ${Else}
    ; A leading zero would be read as octal.
    StrCpy $1 $R8 1
    ${If} $1 == "0"
    ${AndIf} $0 > 1
      Return
    ${EndIf}
  ${EndIf}
  ${DoWhile} $3 < $0
    StrCpy $4 $R8 1 $3
    StrCpy $5 0
    StrLen $6 $2
    ${DoWhile} $5 < $6
      StrCpy $1 $2 1 $5
      ${If} $1 S== $4
        ${Break}
      ${EndIf}
      IntOp $5 $5 + 1
    ${Loop}
    ${If} $5 = $6
      Return
    ${EndIf}
    IntOp $3 $3 + 1
  ${Loop}
  StrCpy $R9 1
FunctionEnd

Function .onInit
  SetRegView 32
  ; An upgrade keeps the machine's values; a first install starts from the defaults: the account
  ; from a card, the reader, user ID and password typed, nothing remembered.
  ClearErrors
  ReadRegDWORD $Mode HKLM "${ZUK_KEY}" "Mode"
  ${If} ${Errors}
    StrCpy $Mode 256
  ${EndIf}
  ClearErrors
  ReadRegDWORD $Device HKLM "${ZUK_KEY}" "Device"
  ${If} ${Errors}
    StrCpy $Device 1
  ${EndIf}
  ClearErrors
  ReadRegDWORD $Config HKLM "${ZUK_KEY}" "Config"
  ${If} ${Errors}
    StrCpy $Config 3
  ${EndIf}
  StrCpy $FeliCaAction "keep"

  ${GetParameters} $R0
  ; Every option is checked before anything is written.
  ClearErrors
  ${GetOptions} $R0 "/MODE=" $R1
  ${IfNot} ${Errors}
    StrCpy $R8 $R1
    Call ZukIsNumber
    ${If} $R9 != 1
      StrCpy $R1 -1
    ${EndIf}
    IntOp $R1 $R1 + 0
    ${If} $R1 <> 0
    ${AndIf} $R1 <> 256
    ${AndIf} $R1 <> 768
      !insertmacro ZUK_REFUSE "/MODE must be 0 (library off), 256 (account from a card) or 768 (from a card or typed)."
    ${EndIf}
    StrCpy $Mode $R1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/DEVICE=" $R1
  ${IfNot} ${Errors}
    ${If} $R1 S!= "0"
    ${AndIf} $R1 S!= "1"
      !insertmacro ZUK_REFUSE "/DEVICE must be 0 (no reader) or 1 (PR300 reader)."
    ${EndIf}
    StrCpy $Device $R1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/CONFIG=" $R1
  ${IfNot} ${Errors}
    StrCpy $R8 $R1
    Call ZukIsNumber
    ${If} $R9 != 1
      !insertmacro ZUK_REFUSE "/CONFIG must be a number such as 0x3 (see docs\configuration.md)."
    ${EndIf}
    IntOp $R1 $R1 + 0
    IntOp $R2 $R1 & 0xF
    IntOp $R3 $R1 & 0xF0
    IntOp $R4 $R1 >> 20
    ${If} $R2 <> 1
    ${AndIf} $R2 <> 3
      !insertmacro ZUK_REFUSE "/CONFIG: the input items (0x0000F) must be 1 (user ID) or 3 (user ID and password)."
    ${EndIf}
    ${If} $R3 <> 0
    ${AndIf} $R3 <> 0x10
    ${AndIf} $R3 <> 0x30
      !insertmacro ZUK_REFUSE "/CONFIG: the remembered items (0x000F0) must be 0x00, 0x10 or 0x30."
    ${EndIf}
    ${If} $R4 <> 0
      !insertmacro ZUK_REFUSE "/CONFIG has bits above 0xFFFFF, which no setting uses."
    ${EndIf}
    StrCpy $Config $R1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/FELICA=" $R1
  ${IfNot} ${Errors}
    ${If} $R1 S== "IDM"
      StrCpy $FeliCa "IDM"
      StrCpy $FeliCaAction "set"
    ${ElseIf} $R1 S== "NONE"
    ${OrIf} $R1 == ""
      StrCpy $FeliCaAction "remove"
    ${Else}
      !insertmacro ZUK_REFUSE "/FELICA must be IDM (the card's IDm is the account) or NONE (remove the value)."
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "ZUKcntrl"
  SectionIn RO  ; the library itself: always installed
  SetRegView 32
  SetOutPath "$INSTDIR"
  File "${ZUK_BIN}\ZUKcntrl.dll"
  File "${ZUK_BIN}\zukcli.exe"
  File "${ZUK_SOURCE}\dist\ZukLang.csv"
  File "${ZUK_SOURCE}\dist\ZukLang_0409.txt"
  File "${ZUK_SOURCE}\dist\ZukLang_0411.txt"
  File "${ZUK_SOURCE}\dist\ZUKcntrl.reg"
  File "${ZUK_SOURCE}\LICENSE"
  ; An INI edited on this machine survives a reinstall.
  SetOverwrite off
  File "${ZUK_SOURCE}\dist\ZUKcntrl.ini"
  SetOverwrite on
  SetOutPath "$INSTDIR\include"
  File "${ZUK_SOURCE}\include\ZUKcntrl.h"
  SetOutPath "$INSTDIR\lib"
  File "${ZUK_BIN}\libZUKcntrl.dll.a"
  File "${ZUK_BIN}\ZUKcntrl.lib"
  SetOutPath "$INSTDIR"

  ; InstallPath ends in exactly one backslash: the library appends file names to it directly.
  ; (An upgrade takes the folder from InstallPath, which may bring its backslash along.)
  StrCpy $R0 $INSTDIR
  ${DoWhile} $R0 != ""
    StrCpy $R1 $R0 "" -1
    ${If} $R1 != "\"
      ${Break}
    ${EndIf}
    StrCpy $R0 $R0 -1
  ${Loop}
  WriteRegStr HKLM "${ZUK_KEY}" "InstallPath" "$R0\"
  WriteRegDWORD HKLM "${ZUK_KEY}" "Mode" $Mode
  WriteRegDWORD HKLM "${ZUK_KEY}" "Device" $Device
  WriteRegDWORD HKLM "${ZUK_KEY}" "Config" $Config
  ${If} $FeliCaAction == "set"
    WriteRegStr HKLM "${ZUK_KEY}" "FeliCa" $FeliCa
  ${ElseIf} $FeliCaAction == "remove"
    DeleteRegValue HKLM "${ZUK_KEY}" "FeliCa"
  ${EndIf}

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${ZUK_UNINSTALL_KEY}" "DisplayName" "ZUKcntrl ${ZUK_VERSION}"
  WriteRegStr HKLM "${ZUK_UNINSTALL_KEY}" "DisplayVersion" "${ZUK_VERSION}"
  WriteRegStr HKLM "${ZUK_UNINSTALL_KEY}" "Publisher" "KORVA"
  WriteRegStr HKLM "${ZUK_UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${ZUK_UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${ZUK_UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${ZUK_UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${ZUK_UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Only an issuing station needs it: the library's users never write cards.
Section /o "Issuing station tool (zukcard.exe)" SecIssuing
  SetOutPath "$INSTDIR"
  File "${ZUK_BIN}\zukcard.exe"
SectionEnd

Section "Uninstall"
  SetRegView 32
  Delete "$INSTDIR\ZUKcntrl.dll"
  Delete "$INSTDIR\zukcli.exe"
  Delete "$INSTDIR\zukcard.exe"
  Delete "$INSTDIR\ZukLang.csv"
  Delete "$INSTDIR\ZukLang_0409.txt"
  Delete "$INSTDIR\ZukLang_0411.txt"
  Delete "$INSTDIR\ZUKcntrl.reg"
  Delete "$INSTDIR\LICENSE"
  Delete "$INSTDIR\ZUKcntrl.ini"
  ; The trace log the library wrote with the default file name, and its rotated predecessor.
  Delete "$INSTDIR\ZUKcntrl.log"
  Delete "$INSTDIR\ZUKcntrl.log.old"
  Delete "$INSTDIR\include\ZUKcntrl.h"
  Delete "$INSTDIR\lib\libZUKcntrl.dll.a"
  Delete "$INSTDIR\lib\ZUKcntrl.lib"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR\include"
  RMDir "$INSTDIR\lib"
  RMDir "$INSTDIR"
  ; The KORVA folder goes only when nothing else of KORVA is in it.
  ${GetParent} "$INSTDIR" $R0
  RMDir "$R0"

  DeleteRegKey HKLM "${ZUK_KEY}"
  DeleteRegKey /ifempty HKLM "SOFTWARE\KORVA"
  DeleteRegKey HKLM "${ZUK_UNINSTALL_KEY}"
  ; The remembered credentials of the user who removes the library (other users' stay in their
  ; own profiles).
  DeleteRegKey HKCU "SOFTWARE\KORVA\ZUKLib"
  DeleteRegKey /ifempty HKCU "SOFTWARE\KORVA"
SectionEnd
