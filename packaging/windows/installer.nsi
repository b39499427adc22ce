; The per-user installer of Mirelune for Windows: no administrator rights, into
; %LOCALAPPDATA%\Programs\Mirelune, with a Start-menu entry and an uninstaller.
; scripts/windows.sh runs makensis -DVERSION=... -DSTAGE=<the portable folder> -DOUTFILE=...
; A 64-bit installer for the 64-bit program (it also runs where no 32-bit layer is, as under wine64).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
Name "Mirelune ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Mirelune"
InstallDirRegKey HKCU "Software\Mirelune" "InstallDir"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Mirelune"

!include "MUI2.nsh"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Mirelune"
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "Software\Mirelune" "InstallDir" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Mirelune"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The Mirelune developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  CreateDirectory "$SMPROGRAMS\Mirelune"
  IfFileExists "$INSTDIR\mirelune.exe" 0 +2
    CreateShortcut "$SMPROGRAMS\Mirelune\Mirelune.lnk" "$INSTDIR\mirelune.exe"
  CreateShortcut "$SMPROGRAMS\Mirelune\Uninstall Mirelune.lnk" "$INSTDIR\uninstall.exe"
SectionEnd

Section "Uninstall"
  RMDir /r "$INSTDIR\share"
  RMDir /r "$INSTDIR\licences"
  Delete "$INSTDIR\mirelune.exe"
  Delete "$INSTDIR\mirelune-cli.exe"
  Delete "$INSTDIR\mirelune-serve.exe"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  RMDir /r "$SMPROGRAMS\Mirelune"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey HKCU "Software\Mirelune"
SectionEnd
