; The Windows installer of Orvane, built by the targets orvane_setup (platform/win32/installer.cmake):
;   makensis -DARCH=win64 -DVERSION=1.0.4.0 -DBINDIR=... -DICON=... -DOUTFILE=... [-DVI_<key>=...] orvane.nsi
; It puts orvane.exe and its help file orvane.HLP side by side in Program Files, a shortcut in the
; Start menu and an entry in Apps and Features; the uninstaller takes exactly those away again and
; never touches the users' settings under HKEY_CURRENT_USER\Software\Quintarro. /S runs either
; silently.

; The 64-bit installer is a 64-bit program itself: it needs no 32-bit subsystem (WOW64), which
; Windows Server can leave out, and it sees the 64-bit Program Files and registry without redirection.
!ifdef ARCH
    !if "${ARCH}" == "win64"
        Target amd64-unicode
    !else
        Unicode true
    !endif
!endif
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include "MUI2.nsh"
!include "FileFunc.nsh"

!macro Require name
    !ifndef ${name}
        !error "makensis needs -D${name}=..."
    !endif
!macroend
!insertmacro Require ARCH
!insertmacro Require VERSION
!insertmacro Require BINDIR
!insertmacro Require ICON
!insertmacro Require OUTFILE

!define PRODUCT "Orvane"
!define PUBLISHER "Quintarro"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvane"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
!if "${ARCH}" == "win64"
    InstallDir "$PROGRAMFILES64\${PRODUCT}"
!else
    InstallDir "$PROGRAMFILES\${PRODUCT}"
!endif
BrandingText "${PRODUCT} ${VERSION}"

; The version record: the program's own (res/orvane.rc), handed over by the build.
VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${VI_ProductName}"
VIAddVersionKey /LANG=1033 "CompanyName" "${VI_CompanyName}"
VIAddVersionKey /LANG=1033 "FileDescription" "${VI_FileDescription}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VI_FileVersion}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VI_ProductVersion}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${VI_LegalCopyright}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The 64-bit program goes into the 64-bit Program Files and registry.
!macro ChooseView
    !if "${ARCH}" == "win64"
        SetRegView 64
    !endif
    ; The shortcut is for every user of the machine.
    SetShellVarContext all
!macroend

Function .onInit
    !insertmacro ChooseView
FunctionEnd

Function un.onInit
    !insertmacro ChooseView
FunctionEnd

Section "Orvane"
    SetOutPath "$INSTDIR"
    File "${BINDIR}/orvane.exe"
    File "${BINDIR}/orvane.HLP"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\orvane.exe" "" "$INSTDIR\orvane.exe" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\orvane.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

; Only what the installer put there, by name: the folder goes only when nothing else is left in it,
; and the settings under HKEY_CURRENT_USER\Software\Quintarro stay for a later install.
Section "Uninstall"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$INSTDIR\orvane.exe"
    Delete "$INSTDIR\orvane.HLP"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
