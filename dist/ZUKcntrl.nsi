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
; Values other than the defaults: /MODE=768 /DEVICE=0 /CONFIG=0x231 /FELICA=IDM
; Silent removal: uninstall.exe /S

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
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${ZUK_VERSION}.0"
VIAddVersionKey "ProductName" "ZUKcntrl"
VIAddVersionKey "CompanyName" "KORVA"
VIAddVersionKey "FileDescription" "ZUKcntrl ${ZUK_VERSION} setup"
VIAddVersionKey "FileVersion" "${ZUK_VERSION}"
VIAddVersionKey "ProductVersion" "${ZUK_VERSION}"
VIAddVersionKey "LegalCopyright" "KORVA"

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var Mode
Var Device
Var Config
Var FeliCa

Function .onInit
  SetRegView 32
  StrCpy $Mode 256
  StrCpy $Device 1
  StrCpy $Config 0x231
  StrCpy $FeliCa ""
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/MODE=" $R1
  ${IfNot} ${Errors}
    StrCpy $Mode $R1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/DEVICE=" $R1
  ${IfNot} ${Errors}
    StrCpy $Device $R1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/CONFIG=" $R1
  ${IfNot} ${Errors}
    StrCpy $Config $R1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/FELICA=" $R1
  ${IfNot} ${Errors}
    StrCpy $FeliCa $R1
  ${EndIf}
  ; The library refuses to load with any Device other than 0 or 1.
  ${If} $Device != 0
  ${AndIf} $Device != 1
    MessageBox MB_ICONSTOP "/DEVICE must be 0 (no reader) or 1 (PR300 reader)." /SD IDOK
    Abort
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

  ; InstallPath ends in a backslash: the library appends file names to it directly.
  WriteRegStr HKLM "${ZUK_KEY}" "InstallPath" "$INSTDIR\"
  WriteRegDWORD HKLM "${ZUK_KEY}" "Mode" $Mode
  WriteRegDWORD HKLM "${ZUK_KEY}" "Device" $Device
  WriteRegDWORD HKLM "${ZUK_KEY}" "Config" $Config
  ${If} $FeliCa != ""
    WriteRegStr HKLM "${ZUK_KEY}" "FeliCa" $FeliCa
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
