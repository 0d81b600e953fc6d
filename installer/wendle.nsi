; The Windows installer of Wendle_P3D. scripts/package-windows builds it with makensis and
; passes: VERSION (major.minor.patch), OUTFILE, and INSTALL_LIST / UNINSTALL_LIST, the
; commands it generated from the stage for the files that ship (so the uninstaller deletes
; exactly those).
;
; Per user, no administrator rights: the program writes its log, scans and learned airport
; files into its own folder, which must therefore be the user's to write. Settings live in
; %APPDATA%\Wendle_P3D and are never touched here.

Unicode true
; The program is 64-bit; so is the installer (and its view of the registry).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!define TITLE "Wendle_P3D"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${TITLE}"

Name "${TITLE} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${TITLE}"
; An update goes where the last installation went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${TITLE}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${TITLE} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "LegalCopyright" ""

; Only the pages built into the installer: the amd64 build of NSIS has no plug-ins.
!include "MUI2.nsh"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "${TITLE}"
    SetShellVarContext current
    SetOverwrite on
    !include "${INSTALL_LIST}"

    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    ; The shortcut starts the program in its own folder, which it needs as its working folder.
    CreateDirectory "$SMPROGRAMS\${TITLE}"
    CreateShortcut "$SMPROGRAMS\${TITLE}\${TITLE}.lnk" "$INSTDIR\wendle.exe" "" \
        "$INSTDIR\wendle.exe" 0
    CreateShortcut "$SMPROGRAMS\${TITLE}\Uninstall ${TITLE}.lnk" "$INSTDIR\Uninstall.exe"

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${TITLE}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\wendle.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Removes what the installer put there. What the program made in its folder (the log,
; scans, learned and user-supplied airport files, flight plans) stays, and with it the
; folder; so do the settings in %APPDATA%\Wendle_P3D.
Section "Uninstall"
    SetShellVarContext current
    Delete "$SMPROGRAMS\${TITLE}\${TITLE}.lnk"
    Delete "$SMPROGRAMS\${TITLE}\Uninstall ${TITLE}.lnk"
    RMDir "$SMPROGRAMS\${TITLE}"

    !include "${UNINSTALL_LIST}"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"

    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
