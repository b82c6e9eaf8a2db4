; Installer of ZUKcntrl, built with makensis:
;   makensis -DZUK_BIN=<folder of the 32-bit ZUKcntrl.dll, zukcli.exe, zukcard.exe and import libraries>
;            [-DZUK_BIN64=<the same folder of the 64-bit build>] [-DZUK_STUB64]
;            -DZUK_VERSION=<release> -DZUK_SOURCE=<source tree> -DZUK_OUTFILE=<setup program> dist/ZUKcntrl.nsi
;
; Installs the 32-bit library into Program Files\KORVA\ZUKcntrl (Program Files (x86) on 64-bit
; Windows): ZUKcntrl.dll, zukcli.exe, the message catalogue, ZUKcntrl.ini (kept when one is already
; there), the public header (include\) and the import libraries for MinGW and MSVC (lib\), and the
; Group Policy templates (PolicyDefinitions\ZUKcntrl.admx with its en-US and ja-JP texts) for an
; administrator to copy into the policy store (docs/install.md).  Writes
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
; Values: /MODE=0|256|768 /DEVICE=0|1 /CONFIG=0x3 /FELICA=IDM|NONE /PORT=COMn /SYSTEMCODE=88B4,...
; /SITEKEYS=FILE (a site key file; its value in quotes when it holds blanks);
; /CREDPROV (also install ZUKCredProv.dll and register it as a credential provider, so that users
; sign in to Windows and unlock with the card: off unless given, kept by upgrades once registered);
; an invalid one, an unknown or misspelt option, an option in quotes, a site key file that is
; missing or not valid, or a folder longer than 200 characters stops the installer before it
; writes anything (exit code 2).  /SITEKEYS stores the file's keys with the installed zukcli
; (keys install) once everything else is installed; when that fails the installation ends with
; exit code 3 (the library is installed; zukcli keys status shows the keys it uses).  Over an existing
; installation every machine value the command line does not set is kept (in each registry view),
; and so is an edited ZUKcntrl.ini.  An upgrade into another folder (/D=) moves the edited INI there
; and removes the old installation.
; An option given twice stops the installer too.
; Silent removal: uninstall.exe /S (see docs/install.md).  The stored site keys and the revocation
; list stay (a later installation uses them) unless the removal is given /REMOVESITEKEYS.

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
!ifndef ZUK_VERSION
  !error "define ZUK_VERSION: the release (the build passes its CMake project version)"
!endif
!ifndef ZUK_OUTFILE
  !define ZUK_OUTFILE "ZUKcntrl-${ZUK_VERSION}-setup.exe"
!endif

!define ZUK_KEY "SOFTWARE\KORVA\ZUKLib"
!define ZUK_UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZUKcntrl"
; The credential provider's class (credprov/credential_provider_abi.h) and its registration.
!define ZUK_CREDPROV_CLSID "{aa050858-7c63-48e9-8e8c-84676b7fb3ac}"
!define ZUK_CREDPROV_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Authentication\Credential Providers\${ZUK_CREDPROV_CLSID}"
!define ZUK_CREDPROV_CLASS_KEY "SOFTWARE\Classes\CLSID\${ZUK_CREDPROV_CLSID}"

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
Var OldDir        ; an earlier installation's folder that /D moves away from, else empty
Var Port          ; /PORT= and /SYSTEMCODE=, written into each installed INI when given
Var PortSet
Var SystemCode
Var SystemCodeSet
Var BadOption     ; set by ZukCheckOptionNames: a word of the command line no option knows
Var RepeatedOption  ; set by ZukCheckOptionNames: an option given twice
Var SeenOptions   ; the option names given so far, each between bars: "|/MODE=|/S|"
Var SiteKeys      ; /SITEKEYS=: the site key file's full path, checked; empty without the option
Var RemoveSiteKeys  ; the uninstaller's /REMOVESITEKEYS: 1 removes the stored site keys too
Var CredProv      ; 1: install and register the credential provider (/CREDPROV, or registered already)

; Stops the installer before anything is written: a message (skipped when silent) and exit code 2.
!macro ZUK_REFUSE TEXT
  MessageBox MB_ICONSTOP "${TEXT}" /SD IDOK
  SetErrorLevel 2
  Abort
!macroend

; (LogicLib: = and <> compare integers, == and != compare texts.)
; $R9 = 1 when $R8 is a number as the options take it: one to nine decimal digits without a
; leading zero, or 0x and one to eight hexadecimal digits; anything else (signs, spaces, letters,
; numbers that do not fit) gives 0.
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
  ${ElseIf} $0 > 9
    ; Ten digits and more would wrap past 32 bits (4294967552 would read as 256).
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

; Checks one word of the command line ($6): $BadOption is set to it unless it is one of the
; installer's options (names compared without regard to case).  Uses $0, $7 to $9.
Function ZukCheckOptionName
  StrCpy $7 $6 1
  ${If} $7 == '"'
    StrCpy $BadOption $6
    Return
  ${EndIf}
  ; The name, up to and including its "=" (or the whole word for a switch).
  StrCpy $8 $6
  StrLen $9 $6
  StrCpy $0 0
  ${DoWhile} $0 < $9
    StrCpy $7 $6 1 $0
    IntOp $0 $0 + 1
    ${If} $7 == "="
      StrCpy $8 $6 $0
      ${Break}
    ${EndIf}
  ${Loop}
  ${If} $8 == "/S"
  ${OrIf} $8 == "/NCRC"
  ${OrIf} $8 == "/MODE="
  ${OrIf} $8 == "/DEVICE="
  ${OrIf} $8 == "/CONFIG="
  ${OrIf} $8 == "/FELICA="
  ${OrIf} $8 == "/PORT="
  ${OrIf} $8 == "/SYSTEMCODE="
  ${OrIf} $8 == "/SITEKEYS="
  ${OrIf} $8 == "/CREDPROV"
    Call ZukNoteOption
    Return
  ${EndIf}
  StrCpy $BadOption $6
FunctionEnd

; Notes the option name $8 in $SeenOptions; sets $RepeatedOption to it when it was given before
; (the installer would take one of the two values without a word).  Names are compared without
; regard to case.  Uses $R2, $R3, $R6, $R7.
Function ZukNoteOption
  StrLen $R2 "|$8|"
  StrLen $R3 $SeenOptions
  StrCpy $R6 0
  ${DoWhile} $R6 < $R3
    StrCpy $R7 $SeenOptions $R2 $R6
    ${If} $R7 == "|$8|"
      ${If} $RepeatedOption == ""
        StrCpy $RepeatedOption $8
      ${EndIf}
      ${Break}
    ${EndIf}
    IntOp $R6 $R6 + 1
  ${Loop}
  StrCpy $SeenOptions "$SeenOptions$8|"
FunctionEnd

; Every word of the command line must be an option of this installer: a misspelt one
; (/CONFG=0x33) or one in quotes ("/MODE= 768") would otherwise be ignored without a word.  /D=
; comes last and may hold spaces: the words stop there.  A blank between quotes belongs to its
; word (/SITEKEYS="C:\Site keys\site.txt").  Uses $0 to $9 and $R5.
Function ZukCheckOptionNames
  StrCpy $BadOption ""
  StrCpy $RepeatedOption ""
  StrCpy $SeenOptions "|"
  ${GetParameters} $1
  StrLen $2 $1
  StrCpy $3 0
  StrCpy $6 ""
  StrCpy $R5 0  ; 1 between quotes
  ${DoWhile} $3 <= $2
    StrCpy $4 $1 1 $3
    ${If} $4 == '"'
      IntOp $R5 1 - $R5
    ${EndIf}
    ${If} $4 == " "
    ${AndIf} $R5 = 0
    ${OrIf} $3 = $2
      ${If} $6 != ""
        StrCpy $5 $6 3
        ${If} $5 == "/D="
          ${Break}
        ${EndIf}
        Call ZukCheckOptionName
        ${If} $BadOption != ""
          ${Break}
        ${EndIf}
        StrCpy $6 ""
      ${EndIf}
    ${Else}
      StrCpy $6 "$6$4"
    ${EndIf}
    IntOp $3 $3 + 1
  ${Loop}
FunctionEnd

; $R9 = 1 when $R8 names a serial port as [Device] PortName takes it: COM1 to COM256, or
; \\.\COM1 to \\.\COM256 (letters in any case).  Uses $0 to $6 and $R7.
Function ZukIsPort
  StrCpy $R7 $R8
  StrCpy $1 $R7 4
  ${If} $1 == "\\.\"
    StrCpy $R7 $R7 "" 4
  ${EndIf}
  StrCpy $1 $R7 3
  StrCpy $R7 $R7 "" 3
  StrCpy $2 $R7 1
  StrLen $3 $R7
  StrCpy $R9 0
  ${If} $1 != "COM"
  ${OrIf} $2 == "0"
  ${OrIf} $3 > 3
    Return
  ${EndIf}
  ; One to three decimal digits without a leading zero, from 1 to 256.
  Push $R8
  StrCpy $R8 $R7
  Call ZukIsNumber
  Pop $R8
  ${If} $R9 != 1
    Return
  ${EndIf}
  IntOp $0 $R7 + 0
  ${If} $0 > 256
    StrCpy $R9 0
  ${EndIf}
FunctionEnd

; $R9 = 1 when $R8 is a list of one to five system codes, each four hexadecimal digits, separated
; by commas without blanks (what [FeliCa] SystemCode takes).  Uses $0 to $5.
Function ZukIsSystemCodeList
  StrCpy $R9 0
  StrLen $0 $R8
  StrCpy $1 0   ; position
  StrCpy $2 0   ; digits in the current code
  StrCpy $3 1   ; codes
  ${If} $0 = 0
    Return
  ${EndIf}
  ${DoWhile} $1 < $0
    StrCpy $4 $R8 1 $1
    ${If} $4 == ","
      ${If} $2 <> 4
        Return
      ${EndIf}
      StrCpy $2 0
      IntOp $3 $3 + 1
    ${Else}
      StrCpy $5 "0123456789abcdefABCDEF"
      StrCpy $R7 0
      ${DoWhile} $R7 < 22
        StrCpy $R6 $5 1 $R7
        ${If} $R6 S== $4
          ${Break}
        ${EndIf}
        IntOp $R7 $R7 + 1
      ${Loop}
      ${If} $R7 = 22
        Return
      ${EndIf}
      IntOp $2 $2 + 1
    ${EndIf}
    IntOp $1 $1 + 1
  ${Loop}
  ${If} $2 <> 4
  ${OrIf} $3 > 5
    Return
  ${EndIf}
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
  StrCpy $PortSet 0
  StrCpy $SystemCodeSet 0
  StrCpy $OldDir ""
  ; Every option is checked before anything is written, its name first.
  Call ZukCheckOptionNames
  ${If} $BadOption != ""
    !insertmacro ZUK_REFUSE "Unknown option $BadOption: the options are /S, /MODE=, /DEVICE=, /CONFIG=, /FELICA=, /PORT=, /SYSTEMCODE=, /SITEKEYS=, /CREDPROV (without quotes or blanks) and /D=, which comes last."
  ${EndIf}
  ${If} $RepeatedOption != ""
    !insertmacro ZUK_REFUSE "The option $RepeatedOption is given twice: give each option once."
  ${EndIf}
  ; An upgrade goes where each library is installed already, unless /D names another folder:
  ; then the earlier installation moves there.
  SetRegView 32
  ClearErrors
  ReadRegStr $R0 HKLM "${ZUK_KEY}" "InstallPath"
  ${IfNot} ${Errors}
    Call ZukTrimSlashes
    StrCpy $OldDir $R0
  ${EndIf}
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
  StrCpy $R0 $INSTDIR
  Call ZukTrimSlashes
  StrCpy $INSTDIR $R0
  ${If} $OldDir == $INSTDIR
    StrCpy $OldDir ""
  ${EndIf}
  ; The longest path below the folder (lib\libZUKcntrl.dll.a, the log's .old) must stay within
  ; the 259 characters Windows gives a file name, or the library cannot be loaded from it.
  StrLen $R1 $INSTDIR
  ${If} $R1 > 200
    !insertmacro ZUK_REFUSE "The installation folder is longer than 200 characters: the library could not be loaded from it. Choose a shorter folder (/D=)."
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

  ; The credential provider: asked for, or registered by an earlier installation (in either view).
  StrCpy $CredProv 0
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/CREDPROV" $R1
  ${IfNot} ${Errors}
    StrCpy $CredProv 1
  ${EndIf}
  SetRegView 32
  ClearErrors
  ReadRegStr $R1 HKLM "${ZUK_CREDPROV_KEY}" ""
  ${IfNot} ${Errors}
    StrCpy $CredProv 1
  ${EndIf}
!ifdef ZUK_BIN64
  ${If} ${RunningX64}
    SetRegView 64
    ClearErrors
    ReadRegStr $R1 HKLM "${ZUK_CREDPROV_KEY}" ""
    ${IfNot} ${Errors}
      StrCpy $CredProv 1
    ${EndIf}
    SetRegView 32
  ${EndIf}
!endif

  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/PORT=" $R1
  ${IfNot} ${Errors}
    StrCpy $R8 $R1
    Call ZukIsPort
    ${If} $R9 != 1
      !insertmacro ZUK_REFUSE "/PORT must name the reader's serial port: COM1 to COM256 (or \\.\COM1 to \\.\COM256)."
    ${EndIf}
    StrCpy $Port $R1
    StrCpy $PortSet 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/SYSTEMCODE=" $R1
  ${IfNot} ${Errors}
    StrCpy $R8 $R1
    Call ZukIsSystemCodeList
    ${If} $R9 != 1
      !insertmacro ZUK_REFUSE "/SYSTEMCODE must be one to five FeliCa system codes of four hexadecimal digits, separated by commas (for example 88B4 or 8165,88B4)."
    ${EndIf}
    StrCpy $SystemCode $R1
    StrCpy $SystemCodeSet 1
  ${EndIf}
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
  ; The site key file last: the other options cost nothing to check, this one a run of zukcli.
  StrCpy $SiteKeys ""
  ClearErrors
  ${GetOptions} $R0 "/SITEKEYS=" $R1
  ${IfNot} ${Errors}
    ${If} $R1 == ""
      !insertmacro ZUK_REFUSE "/SITEKEYS must name a site key file (zukcli keys generate FILE makes one)."
    ${EndIf}
    ; The installed zukcli stores the file later, from another working folder: the full path now,
    ; against the folder the installer was started in.
    ClearErrors
    GetFullPathName $R2 $R1
    ${IfNot} ${Errors}
    ${AndIf} $R2 != ""
      StrCpy $R1 $R2
    ${EndIf}
    Call ZukCheckSiteKeys
    StrCpy $SiteKeys $R1
  ${EndIf}
FunctionEnd

; The site key file $R1 is checked by the package's own zukcli (of the installer's bitness, so it
; runs wherever the installer runs), started from the installer's temporary folder before anything
; is installed: a file that is missing, unreadable or not valid stops the installer with zukcli's
; reason.  Uses $0, $1.
Function ZukCheckSiteKeys
  InitPluginsDir
!ifdef ZUK_STUB64
  File "/oname=$PLUGINSDIR\zukcli.exe" "${ZUK_BIN64}\zukcli.exe"
!else
  File "/oname=$PLUGINSDIR\zukcli.exe" "${ZUK_BIN}\zukcli.exe"
!endif
  nsExec::ExecToStack '"$PLUGINSDIR\zukcli.exe" keys check "$R1"'
  Pop $0  ; the exit code, or "error" when it did not run
  Pop $1  ; what it printed
  Delete "$PLUGINSDIR\zukcli.exe"
  ${If} $0 == "error"
  ${OrIf} $0 == "timeout"
    !insertmacro ZUK_REFUSE "/SITEKEYS: the site key file $R1 could not be checked (zukcli did not run)."
  ${ElseIf} $0 != 0
    !insertmacro ZUK_REFUSE "/SITEKEYS: $R1 cannot be used as the site key file:$\r$\n$1"
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

; $R1 = $R0 with every backslash doubled (a .reg file's string).  Uses $2 to $4.
Function ZukDoubleSlashes
  StrCpy $R1 ""
  StrLen $2 $R0
  StrCpy $3 0
  ${DoWhile} $3 < $2
    StrCpy $4 $R0 1 $3
    ${If} $4 == "\"
      StrCpy $4 "\\"
    ${EndIf}
    StrCpy $R1 "$R1$4"
    IntOp $3 $3 + 1
  ${Loop}
FunctionEnd

; ZUKcntrl.reg in the folder $R0 for the library of $R2 bits: the machine values as they belong
; to that folder and that registry view, for a repair by hand.  Uses $R1, $R3, $2 to $4.
Function ZukWriteRegFile
  Call ZukDoubleSlashes
  FileOpen $R3 "$R0\ZUKcntrl.reg" w
  FileWrite $R3 "Windows Registry Editor Version 5.00$\r$\n$\r$\n"
  FileWrite $R3 "; Machine-wide settings of the $R2-bit ZUKcntrl.dll in this folder.  It reads them from the$\r$\n"
  FileWrite $R3 "; $R2-bit registry view: import this file with$\r$\n"
  FileWrite $R3 ";     reg import ZUKcntrl.reg /reg:$R2$\r$\n"
  ${If} $R2 == 32
    FileWrite $R3 "; (on 64-bit Windows the values land under HKLM\SOFTWARE\WOW6432Node\KORVA\ZUKLib).$\r$\n"
  ${EndIf}
  FileWrite $R3 "; A missing or invalid InstallPath, Mode, Device or Config makes the library refuse to load.$\r$\n$\r$\n"
  FileWrite $R3 "[HKEY_LOCAL_MACHINE\SOFTWARE\KORVA\ZUKLib]$\r$\n"
  FileWrite $R3 "; Installation folder, ending in a backslash (file names are appended to it directly).$\r$\n"
  FileWrite $R3 '"InstallPath"="$R1\\"$\r$\n'
  FileWrite $R3 "; 0x100 (256): the account comes from a card; 0x300 (768): from a card or typed; 0: switched off.$\r$\n"
  FileWrite $R3 '"Mode"=dword:00000100$\r$\n'
  FileWrite $R3 "; 1: the PR300 reader is used; 0: no reader, the user ID and password are typed.$\r$\n"
  FileWrite $R3 '"Device"=dword:00000001$\r$\n'
  FileWrite $R3 "; Credential and dialog behaviour, five 4-bit groups (see docs/configuration.md):$\r$\n"
  FileWrite $R3 "; 0x3 = the user ID and the password (3), nothing remembered (0x00), first dialog layout.$\r$\n"
  FileWrite $R3 '"Config"=dword:00000003$\r$\n'
  FileWrite $R3 '; Optional: "FeliCa"="IDM" makes the card$\'s IDm (16 hexadecimal digits) the user account.$\r$\n'
  FileClose $R3
FunctionEnd

; The reader options given on the command line, into the INI of the folder $R0.
Function ZukWriteIniOptions
  ${If} $PortSet == 1
    WriteINIStr "$R0\ZUKcntrl.ini" "Device" "PortName" $Port
  ${EndIf}
  ${If} $SystemCodeSet == 1
    WriteINIStr "$R0\ZUKcntrl.ini" "FeliCa" "SystemCode" $SystemCode
  ${EndIf}
FunctionEnd

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
  ; An upgrade into another folder: the edited INI (and the trace log) move along, and the earlier
  ; installation's files go, so that no second, stale copy stays behind.
  ${If} $OldDir != ""
    CreateDirectory "$INSTDIR"
    ${IfNot} ${FileExists} "$INSTDIR\ZUKcntrl.ini"
      CopyFiles /SILENT "$OldDir\ZUKcntrl.ini" "$INSTDIR"
    ${EndIf}
    ${IfNot} ${FileExists} "$INSTDIR\ZUKcntrl.log"
      CopyFiles /SILENT "$OldDir\ZUKcntrl.log" "$INSTDIR"
    ${EndIf}
    StrCpy $R0 $OldDir
    Call ZukRemoveFiles
  ${EndIf}
  !insertmacro ZUK_INSTALL_FILES "${ZUK_BIN}" "$INSTDIR"
  ; The Group Policy templates: one copy, beside the 32-bit library (the policies are the same for
  ; both libraries).
  SetOutPath "$INSTDIR\PolicyDefinitions"
  File "${ZUK_SOURCE}\dist\policy\ZUKcntrl.admx"
  SetOutPath "$INSTDIR\PolicyDefinitions\en-US"
  File "${ZUK_SOURCE}\dist\policy\en-US\ZUKcntrl.adml"
  SetOutPath "$INSTDIR\PolicyDefinitions\ja-JP"
  File "${ZUK_SOURCE}\dist\policy\ja-JP\ZUKcntrl.adml"
  SetRegView 32
  StrCpy $R0 $INSTDIR
  Call ZukWriteIniOptions
  StrCpy $R2 32
  Call ZukWriteRegFile
  StrCpy $R0 $INSTDIR
  Call ZukWriteValues
!ifdef ZUK_BIN64
  ${If} $Dir64 != ""
    !insertmacro ZUK_INSTALL_FILES "${ZUK_BIN64}" "$Dir64"
    SetRegView 64
    StrCpy $R0 $Dir64
    Call ZukWriteIniOptions
    StrCpy $R2 64
    Call ZukWriteRegFile
    StrCpy $R0 $Dir64
    Call ZukWriteValues
    SetRegView 32
  ${EndIf}
!endif
  Call ZukRegisterEventSource
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

  ; The site keys last, when everything else is in place: the installed zukcli stores them for
  ; the library of each bitness (each registry view) and reads them back.  The 64-bit one where
  ; the 64-bit library is installed (it runs where 32-bit programs may not), the 32-bit one
  ; elsewhere.
  ${If} $SiteKeys != ""
    StrCpy $R0 "$INSTDIR\zukcli.exe"
    ${If} $Dir64 != ""
      StrCpy $R0 "$Dir64\zukcli.exe"
    ${EndIf}
    DetailPrint "Storing the site keys of $SiteKeys (zukcli keys install)"
    nsExec::ExecToLog '"$R0" keys install "$SiteKeys"'
    Pop $0
    ${If} $0 != 0
      DetailPrint "The site keys were NOT stored (zukcli keys install ended with $0); zukcli keys status shows the keys the library uses."
      MessageBox MB_ICONSTOP "The library is installed, but the site keys of $SiteKeys were not stored (zukcli keys install ended with $0; its output is in the details). zukcli keys status shows the keys the library uses; zukcli keys install FILE, run as an administrator, stores them." /SD IDOK
      SetErrorLevel 3
      Abort
    ${EndIf}
    DetailPrint "The site keys are stored."
  ${EndIf}
SectionEnd

; Registers the credential provider DLL $R0 in the current registry view: the sign-in screen of
; that bitness finds it under Credential Providers, COM loads it from the class's InprocServer32.
Function ZukRegisterCredProv
  WriteRegStr HKLM "${ZUK_CREDPROV_KEY}" "" "ZUKcntrl card sign-in"
  WriteRegStr HKLM "${ZUK_CREDPROV_CLASS_KEY}" "" "ZUKcntrl card sign-in"
  WriteRegStr HKLM "${ZUK_CREDPROV_CLASS_KEY}\InprocServer32" "" "$R0"
  WriteRegStr HKLM "${ZUK_CREDPROV_CLASS_KEY}\InprocServer32" "ThreadingModel" "Apartment"
FunctionEnd

; The credential provider (/CREDPROV): beside each library, registered in each library's view.
Section "-Credential provider" SecCredProv
  ${If} $CredProv == 1
    SetOutPath "$INSTDIR"
    File "${ZUK_BIN}\ZUKCredProv.dll"
    SetRegView 32
    StrCpy $R0 "$INSTDIR\ZUKCredProv.dll"
    Call ZukRegisterCredProv
!ifdef ZUK_BIN64
    ${If} $Dir64 != ""
      SetOutPath "$Dir64"
      File "${ZUK_BIN64}\ZUKCredProv.dll"
      SetRegView 64
      StrCpy $R0 "$Dir64\ZUKCredProv.dll"
      Call ZukRegisterCredProv
      SetRegView 32
    ${EndIf}
!endif
    SetOutPath "$INSTDIR"
  ${EndIf}
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

; Removes what ZUK_INSTALL_FILES, the Group Policy templates and the tools put into the folder $R0,
; the trace log the library wrote there with the default file name and its rotated predecessor,
; the folder itself, and the KORVA folder around it when nothing else of KORVA is in it.
!macro ZUK_REMOVE_FILES_FUNCTION PREFIX
Function ${PREFIX}ZukRemoveFiles
  Delete "$R0\ZUKcntrl.dll"
  ; The sign-in screen may hold the provider loaded: then it goes at the next restart.
  Delete /REBOOTOK "$R0\ZUKCredProv.dll"
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
  Delete "$R0\PolicyDefinitions\ZUKcntrl.admx"
  Delete "$R0\PolicyDefinitions\en-US\ZUKcntrl.adml"
  Delete "$R0\PolicyDefinitions\ja-JP\ZUKcntrl.adml"
  RMDir "$R0\PolicyDefinitions\en-US"
  RMDir "$R0\PolicyDefinitions\ja-JP"
  RMDir "$R0\PolicyDefinitions"
  RMDir "$R0\include"
  RMDir "$R0\lib"
  RMDir "$R0"
  ${GetParent} "$R0" $R1
  RMDir "$R1"
FunctionEnd
!macroend
!insertmacro ZUK_REMOVE_FILES_FUNCTION ""
!insertmacro ZUK_REMOVE_FILES_FUNCTION "un."

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

Function un.onInit
  StrCpy $RemoveSiteKeys 0
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/REMOVESITEKEYS" $R1
  ${IfNot} ${Errors}
    StrCpy $RemoveSiteKeys 1
  ${EndIf}
FunctionEnd

; The machine values of the current registry view.  The stored site keys (SiteKeys) and the
; revocation list (RevokedCards, zukcli revoke) stay unless $RemoveSiteKeys is 1: a site that
; removes the package to install it again, or to replace it, keeps its keys, its readers and cards
; keep working, and its revoked cards stay revoked.  The key goes when nothing stays in it.
; Uses $0 to $2.
Function un.ZukRemoveValues
  StrCpy $2 0  ; 1 when the site keys or the revocation list stay
  ${If} $RemoveSiteKeys != 1
    StrCpy $0 0
    ${Do}
      ClearErrors
      EnumRegValue $1 HKLM "${ZUK_KEY}" $0
      ${If} ${Errors}
      ${OrIf} $1 == ""
        ${ExitDo}
      ${EndIf}
      ${If} $1 == "SiteKeys"
        StrCpy $2 1
        IntOp $0 $0 + 1
      ${Else}
        DeleteRegValue HKLM "${ZUK_KEY}" $1
      ${EndIf}
    ${Loop}
    ; Every subkey but the revocation list.
    StrCpy $0 0
    ${Do}
      ClearErrors
      EnumRegKey $1 HKLM "${ZUK_KEY}" $0
      ${If} ${Errors}
      ${OrIf} $1 == ""
        ${ExitDo}
      ${EndIf}
      ${If} $1 == "RevokedCards"
        StrCpy $2 1
        IntOp $0 $0 + 1
      ${Else}
        DeleteRegKey HKLM "${ZUK_KEY}\$1"
      ${EndIf}
    ${Loop}
  ${EndIf}
  ${If} $2 = 1
    DetailPrint "The stored site keys and the revocation list stay (uninstall.exe /REMOVESITEKEYS removes them too)."
  ${Else}
    DeleteRegKey HKLM "${ZUK_KEY}"
    DeleteRegKey /ifempty HKLM "SOFTWARE\KORVA"
  ${EndIf}
FunctionEnd

; The library's event source in the Application log: the library of the machine's own bitness
; (the 64-bit one where it is installed) holds the message table the Event Viewer reads.  The
; SYSTEM hive has one view for both bitnesses; the 64-bit view is named where it exists.
!define ZUK_EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\ZUKcntrl"
Function ZukRegisterEventSource
  StrCpy $R0 "$INSTDIR\ZUKcntrl.dll"
  ${If} $Dir64 != ""
    StrCpy $R0 "$Dir64\ZUKcntrl.dll"
  ${EndIf}
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  WriteRegExpandStr HKLM "${ZUK_EVENT_SOURCE_KEY}" "EventMessageFile" "$R0"
  WriteRegDWORD HKLM "${ZUK_EVENT_SOURCE_KEY}" "TypesSupported" 7
  SetRegView 32
FunctionEnd

Function un.ZukRemoveEventSource
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  DeleteRegKey HKLM "${ZUK_EVENT_SOURCE_KEY}"
  SetRegView 32
FunctionEnd

; The credential provider's registration in the current registry view.
Function un.ZukRemoveCredProv
  DeleteRegKey HKLM "${ZUK_CREDPROV_KEY}"
  DeleteRegKey HKLM "${ZUK_CREDPROV_CLASS_KEY}"
FunctionEnd

Section "Uninstall"
  ; The sign-in screen stops asking for the provider first, then its files go.
  SetRegView 32
  Call un.ZukRemoveCredProv
  ${If} ${RunningX64}
    SetRegView 64
    Call un.ZukRemoveCredProv
  ${EndIf}
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
    Call un.ZukRemoveValues
    SetRegView 32
  ${EndIf}

  Call un.ZukRemoveValues
  Call un.ZukRemoveEventSource
  DeleteRegKey HKLM "${ZUK_UNINSTALL_KEY}"
  ; The remembered credentials of the user who removes the library (other users' stay in their
  ; own profiles).
  DeleteRegKey HKCU "SOFTWARE\KORVA\ZUKLib"
  DeleteRegKey /ifempty HKCU "SOFTWARE\KORVA"
SectionEnd
