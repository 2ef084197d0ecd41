; The Veilmark installer: both DLLs, registered for the current user by the
; regsvr32 of each one's bitness, with no administrator rights anywhere.
;
;   makensis -DX64_DLL=path -DX86_DLL=path -DOUTDIR=folder /path/to/veilmark.nsi
;
; (paths absolute: makensis works from the script's folder) writes
; OUTDIR/VeilmarkSetup-<version>.exe, the version being the x86_64 DLL's
; version resource.
;
; A 64-bit program: it runs on 64-bit Windows only, where the x86_64 DLL
; serves 64-bit Outlook and the i686 DLL 32-bit Outlook. Both are registered,
; so the add-in is there whichever Office is installed, now or later: their
; class keys live apart in the registry's 64-bit and 32-bit views; the ProgID,
; the Outlook Addins key and the type library key are shared (the library
; keeps a win64 and a win32 entry side by side).

Unicode true
Target amd64-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma
ManifestDPIAware true

!ifndef X64_DLL | X86_DLL | OUTDIR
  !error "Give -DX64_DLL=..., -DX86_DLL=... and -DOUTDIR=..."
!endif

!getdllversion "${X64_DLL}" DLL_VERSION_
!define VERSION "${DLL_VERSION_1}.${DLL_VERSION_2}.${DLL_VERSION_3}.${DLL_VERSION_4}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Veilmark"
!define ICON "${__FILEDIR__}\..\resources\art\veilmark.ico"
; The add-in's own data (the session files), kept unless asked otherwise.
!define DATA_FOLDER "$APPDATA\Veilmark"
; An installation that cannot go on: nothing of it is left behind.
!define EXIT_IN_USE 2
!define EXIT_REGISTRATION_FAILED 3

Name "Veilmark"
OutFile "${OUTDIR}\VeilmarkSetup-${VERSION}.exe"
InstallDir "$LOCALAPPDATA\Programs\Veilmark"
; An upgrade goes where the installed version is.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
Icon "${ICON}"
UninstallIcon "${ICON}"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "Veilmark"
VIAddVersionKey /LANG=1033 "CompanyName" "Veilmark"
VIAddVersionKey /LANG=1033 "FileDescription" "Veilmark add-in for Outlook: setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Veilmark"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_TEXT "Veilmark is installed. Restart Outlook to use it."
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Outlook holding either DLL stops both from being replaced or removed:
; asks until they are free, or quits with EXIT_IN_USE having changed nothing
; (at once when silent). A loaded DLL cannot be opened for writing.
!macro WAIT_UNTIL_FREE un
Function ${un}WaitUntilFree
  Push $0
  Push $1
  retry:
  StrCpy $0 ""
  ${If} ${FileExists} "$INSTDIR\x64\VeilmarkAddIn.dll"
    ClearErrors
    FileOpen $1 "$INSTDIR\x64\VeilmarkAddIn.dll" a
    ${If} ${Errors}
      StrCpy $0 "in use"
    ${Else}
      FileClose $1
    ${EndIf}
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\x86\VeilmarkAddIn.dll"
    ClearErrors
    FileOpen $1 "$INSTDIR\x86\VeilmarkAddIn.dll" a
    ${If} ${Errors}
      StrCpy $0 "in use"
    ${Else}
      FileClose $1
    ${EndIf}
  ${EndIf}
  ${If} $0 != ""
    DetailPrint "The Veilmark add-in is in use."
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "Outlook is using the Veilmark add-in. Close Outlook to continue." /SD IDCANCEL IDRETRY retry
    SetErrorLevel ${EXIT_IN_USE}
    Quit
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro WAIT_UNTIL_FREE ""
!insertmacro WAIT_UNTIL_FREE "un."

; Each DLL removes its own registration: exactly what it wrote. The i686 one
; only where the system runs 32-bit programs (a 64-bit Windows without them
; has no 32-bit Office either).
!macro UNREGISTER un
Function ${un}Unregister
  ${If} ${FileExists} "$INSTDIR\x64\VeilmarkAddIn.dll"
    ExecWait '"$SYSDIR\regsvr32.exe" /s /u /n /i:user "$INSTDIR\x64\VeilmarkAddIn.dll"'
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\x86\VeilmarkAddIn.dll"
  ${AndIf} ${FileExists} "$WINDIR\SysWOW64\regsvr32.exe"
    ExecWait '"$WINDIR\SysWOW64\regsvr32.exe" /s /u /n /i:user "$INSTDIR\x86\VeilmarkAddIn.dll"'
  ${EndIf}
FunctionEnd

; Everything of the installation but the user's data.
Function ${un}RemoveInstallation
  Call ${un}Unregister
  Delete "$INSTDIR\x64\VeilmarkAddIn.dll"
  Delete "$INSTDIR\x86\VeilmarkAddIn.dll"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR\x64"
  RMDir "$INSTDIR\x86"
  ; Only when empty: whatever the user put there stays.
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
FunctionEnd
!macroend
!insertmacro UNREGISTER ""
!insertmacro UNREGISTER "un."

; regsvr32 with the given program on the given DLL; quits with
; EXIT_REGISTRATION_FAILED, nothing left installed, when it fails.
!macro REGISTER regsvr32 dll
  ClearErrors
  ExecWait '"${regsvr32}" /s /n /i:user "${dll}"' $0
  ${If} ${Errors}
  ${OrIf} $0 != 0
    DetailPrint "Registering ${dll} failed (regsvr32 exit code $0)."
    Call RemoveInstallation
    MessageBox MB_OK|MB_ICONSTOP "Veilmark could not be registered (regsvr32 exit code $0)." /SD IDOK
    SetErrorLevel ${EXIT_REGISTRATION_FAILED}
    Quit
  ${EndIf}
!macroend

Function .onInit
  SetShellVarContext current
FunctionEnd

Section "Veilmark add-in" SecAddin
  SectionIn RO
  Call WaitUntilFree
  ; Over an earlier version, its DLLs unregister themselves before both are
  ; replaced; the files are free, so the pair is replaced whole.
  Call Unregister

  SetOutPath "$INSTDIR\x64"
  File "/oname=VeilmarkAddIn.dll" "${X64_DLL}"
  SetOutPath "$INSTDIR\x86"
  File "/oname=VeilmarkAddIn.dll" "${X86_DLL}"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Veilmark"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Veilmark"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Uninstall.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

  !insertmacro REGISTER "$SYSDIR\regsvr32.exe" "$INSTDIR\x64\VeilmarkAddIn.dll"
  ${If} ${FileExists} "$WINDIR\SysWOW64\regsvr32.exe"
    !insertmacro REGISTER "$WINDIR\SysWOW64\regsvr32.exe" "$INSTDIR\x86\VeilmarkAddIn.dll"
  ${Else}
    DetailPrint "This system runs no 32-bit programs: the i686 DLL is not registered."
  ${EndIf}
SectionEnd

Section "un.Veilmark add-in" SecRemove
  SectionIn RO
  Call un.WaitUntilFree
  Call un.RemoveInstallation
SectionEnd

Section /o "un.My saved sessions" SecData
  RMDir /r "${DATA_FOLDER}"
SectionEnd

Function un.onInit
  SetShellVarContext current
  ; /REMOVEDATA ticks the data box, for silent removal too.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVEDATA" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecData}
  ${EndIf}
FunctionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecRemove} "The add-in, its registration and this uninstaller."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecData} "The sessions Veilmark keeps in ${DATA_FOLDER}, so you need not log in again."
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END
