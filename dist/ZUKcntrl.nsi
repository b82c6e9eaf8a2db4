; Installer of ZUKcntrl 3.1.0, built with makensis:
;   makensis -DZUK_BIN=<folder of the 32-bit ZUKcntrl.dll, zukcli.exe, zukcard.exe and import libraries>
;            [-DZUK_BIN64=<the same folder of the 64-bit build>] [-DZUK_STUB64]
;            -DZUK_SOURCE=<source tree> -DZUK_OUTFILE=<setup program> dist/ZUKcntrl.nsi
;
; Installs the 32-bit library into Program Files\KORVA\ZUKcntrl (Program Files (x86) on 64-bit
; Windows): ZUKcntrl.dll, zukcli.exe, the message catalogue, ZUKcntrl.ini (kept when one is already
; there), the public header (include\) and the import libraries for MinGW and MSVC (lib\).  Writes
; the machine values under HKLM\SOFTWARE\KORVA\ZUKLib in the 32-bit registry view
; (WOW6432Node on 64-bit Windows), where the 32-bit library reads them, and an entry in the list
; of installed programs.
;
; Built with ZUK_BIN64, the installer also carries the 64-bit library: on 64-bit Windows it
; installs the same set of files from the 64-bit build into Program Files\KORVA\ZUKcntrl and
; writes the machine values into the 64-bit view too, where the 64-bit library reads them; on
; 32-bit Windows it installs the 32-bit library only.  ZUK_STUB64 makes the installer itself a
; 64-bit program (for 64-bit Windows only); otherwise it is a 32-bit one that runs on both.
;
; Optional component, not selected by default (so not installed by a silent install): the issuing
; station's tool zukcard.exe, which writes users' cards.  It is offered on the components page.
;
; Silent install: setup.exe /S [/D=C:\Other\Folder]  (/D must come last and take no quotes; it
; names the 32-bit library's folder)
; Values: /MODE=0|256|768 /DEVICE=0|1 /CONFIG=0x3 /FELICA=IDM|NONE; an invalid one stops the
; installer before it writes anything (exit code 2).  Over an existing installation every machine
; value the command line does not set is kept (in each registry view), and so is an edited
; ZUKcntrl.ini.
; Silent removal: uninstall.exe /S (see docs/install.md).

!ifdef ZUK_STUB64
  Target amd64-unicode
  ; A 64-bit installer knows when it is built that it runs on 64-bit Windows: the RunningX64
  ; branches leave an "else" label unused.
  !pragma warning disable 6012
!else
  Unicode true
!endif
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"

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
; The 32-bit library's folder; an upgrade goes where it is installed already (see .onInit).
InstallDir "$PROGRAMFILES32\KORVA\ZUKcntrl"
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
; 1 where the command line set the value: it replaces the machine's; otherwise an existing value
; stays and only a missing one is written (with its default).
Var ModeSet
Var DeviceSet
Var ConfigSet
Var Dir64         ; the 64-bit library's folder, empty when it is not installed

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

; $R0 without its trailing backslashes.  Uses $R1.
Function ZukTrimSlashes
  ${DoWhile} $R0 != ""
    StrCpy $R1 $R0 "" -1
    ${If} $R1 != "\"
      ${Break}
    ${EndIf}
    StrCpy $R0 $R0 -1
  ${Loop}
FunctionEnd

Function .onInit
  ; A first install starts from the defaults: the account from a card, the reader, user ID and
  ; password typed, nothing remembered.  An upgrade keeps each view's values (ZukWriteValues).
  StrCpy $Mode 256
  StrCpy $Device 1
  StrCpy $Config 3
  StrCpy $ModeSet 0
  StrCpy $DeviceSet 0
  StrCpy $ConfigSet 0
  ; An upgrade goes where each library is installed already, unless /D names another folder.
  SetRegView 32
  ${If} $INSTDIR == "$PROGRAMFILES32\KORVA\ZUKcntrl"
    ; The folder of 32-bit programs as Windows names it (a 64-bit installer's $PROGRAMFILES32
    ; need not be it).
    ${If} ${RunningX64}
      SetRegView 64
      ClearErrors
      ReadRegStr $R0 HKLM "SOFTWARE\Microsoft\Windows\CurrentVersion" "ProgramFilesDir (x86)"
      ${IfNot} ${Errors}
      ${AndIf} $R0 != ""
        StrCpy $INSTDIR "$R0\KORVA\ZUKcntrl"
      ${EndIf}
      SetRegView 32
    ${EndIf}
    ClearErrors
    ReadRegStr $R0 HKLM "${ZUK_KEY}" "InstallPath"
    Call ZukTrimSlashes
    ${IfNot} ${Errors}
    ${AndIf} $R0 != ""
      StrCpy $INSTDIR $R0
    ${EndIf}
  ${EndIf}
  StrCpy $Dir64 ""
!ifdef ZUK_BIN64
  ${If} ${RunningX64}
    StrCpy $Dir64 "$PROGRAMFILES64\KORVA\ZUKcntrl"
    SetRegView 64
    ClearErrors
    ReadRegStr $R0 HKLM "${ZUK_KEY}" "InstallPath"
    Call ZukTrimSlashes
    ${IfNot} ${Errors}
    ${AndIf} $R0 != ""
      StrCpy $Dir64 $R0
    ${EndIf}
    SetRegView 32
  ${EndIf}
!endif
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
    StrCpy $ModeSet 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/DEVICE=" $R1
  ${IfNot} ${Errors}
    ${If} $R1 S!= "0"
    ${AndIf} $R1 S!= "1"
      !insertmacro ZUK_REFUSE "/DEVICE must be 0 (no reader) or 1 (PR300 reader)."
    ${EndIf}
    StrCpy $Device $R1
    StrCpy $DeviceSet 1
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
    StrCpy $ConfigSet 1
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

; The files of one build into the folder DIR (the header and import libraries below it).
!macro ZUK_INSTALL_FILES BIN DIR
  SetOutPath "${DIR}"
  File "${BIN}\ZUKcntrl.dll"
  File "${BIN}\zukcli.exe"
  File "${ZUK_SOURCE}\dist\ZukLang.csv"
  File "${ZUK_SOURCE}\dist\ZukLang_0409.txt"
  File "${ZUK_SOURCE}\dist\ZukLang_0411.txt"
  File "${ZUK_SOURCE}\dist\ZUKcntrl.reg"
  File "${ZUK_SOURCE}\LICENSE"
  ; An INI edited on this machine survives a reinstall.
  SetOverwrite off
  File "${ZUK_SOURCE}\dist\ZUKcntrl.ini"
  SetOverwrite on
  SetOutPath "${DIR}\include"
  File "${ZUK_SOURCE}\include\ZUKcntrl.h"
  SetOutPath "${DIR}\lib"
  File "${BIN}\libZUKcntrl.dll.a"
  File "${BIN}\ZUKcntrl.lib"
!macroend

; The machine values in the current registry view, with $R0 as the installation folder.  A value
; the command line set is written; any other is written only when the view has none yet.
Function ZukWriteValues
  Call ZukTrimSlashes
  ; InstallPath ends in exactly one backslash: the library appends file names to it directly.
  WriteRegStr HKLM "${ZUK_KEY}" "InstallPath" "$R0\"
  ClearErrors
  ReadRegDWORD $R1 HKLM "${ZUK_KEY}" "Mode"
  ${If} ${Errors}
  ${OrIf} $ModeSet == 1
    WriteRegDWORD HKLM "${ZUK_KEY}" "Mode" $Mode
  ${EndIf}
  ClearErrors
  ReadRegDWORD $R1 HKLM "${ZUK_KEY}" "Device"
  ${If} ${Errors}
  ${OrIf} $DeviceSet == 1
    WriteRegDWORD HKLM "${ZUK_KEY}" "Device" $Device
  ${EndIf}
  ClearErrors
  ReadRegDWORD $R1 HKLM "${ZUK_KEY}" "Config"
  ${If} ${Errors}
  ${OrIf} $ConfigSet == 1
    WriteRegDWORD HKLM "${ZUK_KEY}" "Config" $Config
  ${EndIf}
  ${If} $FeliCaAction == "set"
    WriteRegStr HKLM "${ZUK_KEY}" "FeliCa" $FeliCa
  ${ElseIf} $FeliCaAction == "remove"
    DeleteRegValue HKLM "${ZUK_KEY}" "FeliCa"
  ${EndIf}
FunctionEnd

Section "ZUKcntrl"
  SectionIn RO  ; the library itself: always installed
  !insertmacro ZUK_INSTALL_FILES "${ZUK_BIN}" "$INSTDIR"
  SetRegView 32
  StrCpy $R0 $INSTDIR
  Call ZukWriteValues
!ifdef ZUK_BIN64
  ${If} $Dir64 != ""
    !insertmacro ZUK_INSTALL_FILES "${ZUK_BIN64}" "$Dir64"
    SetRegView 64
    StrCpy $R0 $Dir64
    Call ZukWriteValues
    SetRegView 32
  ${EndIf}
!endif
  SetOutPath "$INSTDIR"

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
!ifdef ZUK_BIN64
  ${If} $Dir64 != ""
    SetOutPath "$Dir64"
    File "${ZUK_BIN64}\zukcard.exe"
  ${EndIf}
!endif
SectionEnd

; Removes what ZUK_INSTALL_FILES and the tools put into the folder $R0, the trace log the library
; wrote there with the default file name and its rotated predecessor, the folder itself, and the
; KORVA folder around it when nothing else of KORVA is in it.
Function un.ZukRemoveFiles
  Delete "$R0\ZUKcntrl.dll"
  Delete "$R0\zukcli.exe"
  Delete "$R0\zukcard.exe"
  Delete "$R0\ZukLang.csv"
  Delete "$R0\ZukLang_0409.txt"
  Delete "$R0\ZukLang_0411.txt"
  Delete "$R0\ZUKcntrl.reg"
  Delete "$R0\LICENSE"
  Delete "$R0\ZUKcntrl.ini"
  Delete "$R0\ZUKcntrl.log"
  Delete "$R0\ZUKcntrl.log.old"
  Delete "$R0\include\ZUKcntrl.h"
  Delete "$R0\lib\libZUKcntrl.dll.a"
  Delete "$R0\lib\ZUKcntrl.lib"
  Delete "$R0\uninstall.exe"
  RMDir "$R0\include"
  RMDir "$R0\lib"
  RMDir "$R0"
  ${GetParent} "$R0" $R1
  RMDir "$R1"
FunctionEnd

; $R0 without its trailing backslashes.  Uses $R1.
Function un.ZukTrimSlashes
  ${DoWhile} $R0 != ""
    StrCpy $R1 $R0 "" -1
    ${If} $R1 != "\"
      ${Break}
    ${EndIf}
    StrCpy $R0 $R0 -1
  ${Loop}
FunctionEnd

Section "Uninstall"
  SetRegView 32
  StrCpy $R0 $INSTDIR
  Call un.ZukRemoveFiles
  ; The 64-bit library, where the 64-bit view names its folder.
  ${If} ${RunningX64}
    SetRegView 64
    ClearErrors
    ReadRegStr $R0 HKLM "${ZUK_KEY}" "InstallPath"
    ${IfNot} ${Errors}
      Call un.ZukTrimSlashes
      ${If} $R0 != ""
        Call un.ZukRemoveFiles
      ${EndIf}
    ${EndIf}
    DeleteRegKey HKLM "${ZUK_KEY}"
    DeleteRegKey /ifempty HKLM "SOFTWARE\KORVA"
    SetRegView 32
  ${EndIf}

  DeleteRegKey HKLM "${ZUK_KEY}"
  DeleteRegKey /ifempty HKLM "SOFTWARE\KORVA"
  DeleteRegKey HKLM "${ZUK_UNINSTALL_KEY}"
  ; The remembered credentials of the user who removes the library (other users' stay in their
  ; own profiles).
  DeleteRegKey HKCU "SOFTWARE\KORVA\ZUKLib"
  DeleteRegKey /ifempty HKCU "SOFTWARE\KORVA"
SectionEnd
