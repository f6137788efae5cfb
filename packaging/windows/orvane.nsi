; The Windows installer of Orvane, built by the targets orvane_setup (platform/win32/installer.cmake):
;   makensis -DARCH=win64 -DVERSION=1.0.4.0 -DBINDIR=... -DICON=... -DOUTFILE=... [-DVI_<key>=...] orvane.nsi
; It puts orvane.exe and its help file orvane.HLP side by side in Program Files, a shortcut in the
; Start menu and an entry in Apps and Features; the uninstaller takes exactly those away again and
; never touches the users' settings under HKEY_CURRENT_USER\Software\Quintarro. /S runs either
; silently; a silent run that cannot do its work ends with exit code 2 and changes nothing.
;
; Orvane goes only into a folder inside Program Files (the 32-bit program inside Program Files (x86)
; on 64-bit Windows), whose access list lets no ordinary user change a folder or file above or in it,
; so that nobody can swap the program (or a DLL beside it) that an administrator later runs; any
; other folder is refused, on the folder page and with /D=. Whoever wants Orvane elsewhere takes the
; zip. Only an administrator can install or uninstall. An install over an existing one goes into the
; same folder and replaces it in place. The 32-bit program on 64-bit Windows is "Orvane (32-bit)",
; with a shortcut and an entry of its own beside the 64-bit one.

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
!include "LogicLib.nsh"
!include "x64.nsh"

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
; The folder that this installer's program goes into, or into a folder inside it.
!if "${ARCH}" == "win64"
    !define PROGRAM_FILES "$PROGRAMFILES64"
!else
    !define PROGRAM_FILES "$PROGRAMFILES32"
!endif
InstallDir "${PROGRAM_FILES}\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"
; An installed Orvane keeps its folder: the installer starts from it (and /D= may not name another).
; That folder is checked like any other: one outside Program Files is refused.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"

Var Title       ; the display name and the shortcut's name
Var Installed   ; the folder of the Orvane already installed, or empty
Var Problem     ; why the chosen folder cannot be used, or empty

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
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipDirectoryOnUpgrade
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE RefuseUnusableFolder
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; Pages are not shown under /S, so a silent install starts nothing.
!define MUI_FINISHPAGE_RUN "$INSTDIR\orvane.exe"
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
    ; Both programs can be installed on 64-bit Windows, each in its own registry view; the common
    ; Start menu and the list in Apps and Features are shared, so the 32-bit one names itself apart.
    StrCpy $Title "${PRODUCT}"
    !if "${ARCH}" != "win64"
        ${If} ${RunningX64}
            StrCpy $Title "${PRODUCT} (32-bit)"
        ${EndIf}
    !endif
!macroend

; Ends a run that cannot go on, before it has changed anything; /S gets exit code 2.
!macro Refuse text
    MessageBox MB_OK|MB_ICONSTOP "${text}" /SD IDOK
    SetErrorLevel 2
    Abort
!macroend

; Installing and uninstalling write to Program Files and HKEY_LOCAL_MACHINE: a standard user (UAC
; off, or the installer started with __COMPAT_LAYER=RunAsInvoker) is refused before anything changes,
; instead of failing half-way. UserInfo asks whether the token is an elevated administrator's.
!macro RequireAdministrator
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
        !insertmacro Refuse "Only an administrator can install or uninstall $Title. Start it again as an administrator."
    ${EndIf}
!macroend

Function .onInit
    !insertmacro ChooseView
    !insertmacro RequireAdministrator
    ReadRegStr $Installed HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $Installed != ""
    ${AndIf} $Installed != $INSTDIR
        !insertmacro Refuse "$Title is installed in $Installed. Uninstall it first to install it in another folder."
    ${EndIf}
FunctionEnd

Function un.onInit
    !insertmacro ChooseView
    !insertmacro RequireAdministrator
FunctionEnd

Function SkipDirectoryOnUpgrade
    ${If} $Installed != ""
        Abort
    ${EndIf}
FunctionEnd

; Sets Problem when $INSTDIR is not a folder inside Program Files (its full path, so that "..\" or
; "." cannot lead out of it past the comparison).
Function CheckFolder
    StrCpy $Problem ""
    System::Call 'kernel32::GetFullPathNameW(w "$INSTDIR", i ${NSIS_MAX_STRLEN}, w .r0, p 0) i .r1'
    ${If} $1 == 0
        StrCpy $Problem "$INSTDIR is not a valid folder."
        Return
    ${EndIf}
    StrCpy $INSTDIR $0
    StrCpy $3 "${PROGRAM_FILES}\"
    StrLen $4 $3
    StrCpy $5 $0 $4
    StrCpy $6 $0 "" $4
    ; StrCmp, and so ==, ignores case, as the file system does.
    ${If} $5 != $3
    ${OrIf} $6 == ""
        StrCpy $Problem "$Title can only be installed in a folder inside ${PROGRAM_FILES}, where no other user can change it. To keep it elsewhere, take the zip of $Title instead."
    ${EndIf}
FunctionEnd

Function RefuseUnusableFolder
    Call CheckFolder
    ${If} $Problem != ""
        MessageBox MB_OK|MB_ICONEXCLAMATION "$Problem"
        Abort
    ${EndIf}
FunctionEnd

; Deletes the program and its help file together, before anything else, or neither. A running
; orvane.exe cannot be opened for writing, and a file that anyone else has open cannot be opened
; without sharing: both are opened so, with the right to delete them, before either is touched.
; Only when both are held are both marked for deletion, and closing them deletes them. A run refused
; here leaves the installed Orvane whole, its uninstall entry included.
!macro OpenToDelete file handle
    StrCpy ${handle} 0
    ${If} ${FileExists} "$INSTDIR\${file}"
        ; GENERIC_WRITE | DELETE, no sharing, OPEN_EXISTING
        System::Call 'kernel32::CreateFileW(w "$INSTDIR\${file}", i 0x40010000, i 0, p 0, i 3, i 0, p 0) p .s'
        Pop ${handle}
    ${EndIf}
!macroend

; Marks an open file for deletion at its close (1), or no longer (0); $R8 becomes 0 when that fails.
!macro SetDeletion handle delete
    ${If} ${handle} <> 0
        ; FileDispositionInfo (4): a FILE_DISPOSITION_INFO, one BOOLEAN
        System::Call 'kernel32::SetFileInformationByHandle(p ${handle}, i 4, *i ${delete}, i 1) i .s'
        Pop $R9
        ${If} $R9 = 0
            StrCpy $R8 0
        ${EndIf}
    ${EndIf}
!macroend

!macro CloseIfOpen handle
    ${If} ${handle} <> 0
    ${AndIf} ${handle} <> -1
        System::Call 'kernel32::CloseHandle(p ${handle})'
    ${EndIf}
!macroend

!macro DefineRemoveProgram un
Function ${un}RemoveProgram
  retry:
    !insertmacro OpenToDelete orvane.exe $R6
    !insertmacro OpenToDelete orvane.HLP $R7
    StrCpy $R8 1  ; 1 while both can go
    ${If} $R6 = -1
    ${OrIf} $R7 = -1
        StrCpy $R8 0
    ${Else}
        !insertmacro SetDeletion $R6 1
        !insertmacro SetDeletion $R7 1
        ${If} $R8 = 0
            !insertmacro SetDeletion $R6 0
            !insertmacro SetDeletion $R7 0
            StrCpy $R8 0
        ${EndIf}
    ${EndIf}
    !insertmacro CloseIfOpen $R6
    !insertmacro CloseIfOpen $R7
    ${If} $R8 = 0
    ${OrIf} ${FileExists} "$INSTDIR\orvane.exe"
    ${OrIf} ${FileExists} "$INSTDIR\orvane.HLP"
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$Title or its help file is in use. Close $Title and whatever has its help file open, then press Retry." /SD IDCANCEL IDRETRY retry
        !insertmacro Refuse "$Title was left as it is."
    ${EndIf}
FunctionEnd
!macroend
!insertmacro DefineRemoveProgram ""
!insertmacro DefineRemoveProgram "un."

Section "Orvane"
    Call CheckFolder
    ${If} $Problem != ""
        !insertmacro Refuse "$Problem"
    ${EndIf}
    Call RemoveProgram
    CreateDirectory "$INSTDIR"
    Delete "$INSTDIR\uninstall.exe"

    SetOutPath "$INSTDIR"
    File "${BINDIR}/orvane.exe"
    File "${BINDIR}/orvane.HLP"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortCut "$SMPROGRAMS\$Title.lnk" "$INSTDIR\orvane.exe" "" "$INSTDIR\orvane.exe" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "$Title"
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
    Call un.RemoveProgram
    Delete "$SMPROGRAMS\$Title.lnk"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
