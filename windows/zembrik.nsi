; The Windows installer: Zembrik in Program Files, a Start-menu entry, an
; uninstaller listed under Apps, and Zembrik offered under "Open with" for
; the kinds of picture it reads. `setup.exe /S` installs without a question
; (`/D=FOLDER`, last, picks the folder); `uninstall.exe /S` removes it again.
;
;   makensis -DVERSION=1.1.0 -DSTAGE=<folder of the programs> -DICON=<zembrik.ico> -DOUTFILE=<setup.exe> zembrik.nsi
; A 64-bit installer for a 64-bit program.
Target amd64-unicode
SetCompressor /SOLID lzma
!include "MUI2.nsh"
!include "x64.nsh"

Name "Zembrik ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Zembrik"
InstallDirRegKey HKLM "Software\Zembrik" "InstallDir"
RequestExecutionLevel admin
BrandingText "Zembrik ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Zembrik"
VIAddVersionKey /LANG=1033 "FileDescription" "Zembrik installer"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "GPL-3.0-or-later"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Zembrik"
!define APP_KEY "Software\Classes\Applications\zembrik.exe"

!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\zembrik.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "English"

; "Open with" for one extension: the program is named in the extension's list.
!macro OpenWith EXT
  WriteRegStr HKLM "${APP_KEY}\SupportedTypes" "${EXT}" ""
  WriteRegStr HKLM "Software\Classes\${EXT}\OpenWithList\zembrik.exe" "" ""
!macroend
!macro NoOpenWith EXT
  DeleteRegKey HKLM "Software\Classes\${EXT}\OpenWithList\zembrik.exe"
!macroend

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "Zembrik needs 64-bit Windows."
    Abort
  ${EndIf}
  SetRegView 64
  !insertmacro MUI_LANGDLL_DISPLAY
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Zembrik"
  ; Installed for every user of the machine, as into Program Files.
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortCut "$SMPROGRAMS\Zembrik.lnk" "$INSTDIR\zembrik.exe"

  WriteRegStr HKLM "Software\Zembrik" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Zembrik"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Zembrik developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\zembrik.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  WriteRegStr HKLM "${APP_KEY}" "FriendlyAppName" "Zembrik"
  WriteRegStr HKLM "${APP_KEY}\shell\open\command" "" '"$INSTDIR\zembrik.exe" "%1"'
  !insertmacro OpenWith ".jpg"
  !insertmacro OpenWith ".jpeg"
  !insertmacro OpenWith ".jpe"
  !insertmacro OpenWith ".heic"
  !insertmacro OpenWith ".heif"
  !insertmacro OpenWith ".avif"
  !insertmacro OpenWith ".png"
  !insertmacro OpenWith ".webp"
  !insertmacro OpenWith ".tif"
  !insertmacro OpenWith ".tiff"
  !insertmacro OpenWith ".bmp"
  !insertmacro OpenWith ".gif"
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  !insertmacro NoOpenWith ".jpg"
  !insertmacro NoOpenWith ".jpeg"
  !insertmacro NoOpenWith ".jpe"
  !insertmacro NoOpenWith ".heic"
  !insertmacro NoOpenWith ".heif"
  !insertmacro NoOpenWith ".avif"
  !insertmacro NoOpenWith ".png"
  !insertmacro NoOpenWith ".webp"
  !insertmacro NoOpenWith ".tif"
  !insertmacro NoOpenWith ".tiff"
  !insertmacro NoOpenWith ".bmp"
  !insertmacro NoOpenWith ".gif"
  DeleteRegKey HKLM "${APP_KEY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\Zembrik"
  Delete "$SMPROGRAMS\Zembrik.lnk"
  ; Only what the installer put there: a user's own files in the folder stay.
  Delete "$INSTDIR\zembrik.exe"
  Delete "$INSTDIR\zembrik-batch.exe"
  Delete "$INSTDIR\*.dll"
  Delete "$INSTDIR\*.html"
  Delete "$INSTDIR\qt.conf"
  Delete "$INSTDIR\LICENSE.txt"
  RMDir /r "$INSTDIR\plugins"
  RMDir /r "$INSTDIR\translations"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
