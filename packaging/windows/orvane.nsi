; The Windows installer of Orvane, built by the targets orvane_setup (platform/win32/installer.cmake):
;   makensis -DARCH=win64 -DVERSION=1.0.4.0 -DBINDIR=... -DICON=... -DOUTFILE=... [-DVI_<key>=...] orvane.nsi
; It puts orvane.exe and its help file orvane.HLP side by side in Program Files, a shortcut in the
; Start menu and an entry in Apps and Features; the uninstaller takes exactly those away again and
; never touches the users' settings under HKEY_CURRENT_USER\Software\Quintarro. /S runs either
; silently; a silent run that cannot do its work ends with exit code 2 and changes nothing.
;
; An install over an existing one goes into the same folder and replaces it in place. A folder
; outside Program Files gets the access list that Program Files gives its subfolders, so that no
; ordinary user can swap the program an administrator later runs elevated. The 32-bit program on
; 64-bit Windows is "Orvane (32-bit)", with a shortcut and an entry of its own beside the 64-bit one.

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
!if "${ARCH}" == "win64"
    InstallDir "$PROGRAMFILES64\${PRODUCT}"
!else
    InstallDir "$PROGRAMFILES\${PRODUCT}"
!endif
BrandingText "${PRODUCT} ${VERSION}"
; An installed Orvane keeps its folder: the installer starts from it (and /D= may not name another).
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"

; What Program Files gives its subfolders: administrators and SYSTEM full control, users read and
; execute, inherited by everything inside, and nothing inherited from the folder above.
!define PROTECTED_FOLDER_SDDL "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"

Var Title       ; the display name and the shortcut's name
Var Installed   ; the folder of the Orvane already installed, or empty
Var Problem     ; why the chosen folder cannot be used, or empty
Var Protect     ; 1 when the folder lies outside Program Files and gets its access list from us

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

Function .onInit
    !insertmacro ChooseView
    ReadRegStr $Installed HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $Installed != ""
    ${AndIf} $Installed != $INSTDIR
        !insertmacro Refuse "$Title is installed in $Installed. Uninstall it first to install it in another folder."
    ${EndIf}
FunctionEnd

Function un.onInit
    !insertmacro ChooseView
FunctionEnd

Function SkipDirectoryOnUpgrade
    ${If} $Installed != ""
        Abort
    ${EndIf}
FunctionEnd

!macro KeepAccessUnder path folder
    StrCpy $3 "${folder}\"
    StrLen $4 $3
    StrCpy $4 ${path} $4
    ${If} $4 == $3
        StrCpy $Protect 0
    ${EndIf}
!macroend

; Sets Problem when $INSTDIR cannot take the program, and Protect when it lies outside Program Files.
; Such a folder must be new (or the installed Orvane's own): the installer makes it and sets its
; access list before anything is in it, and never rewrites the list of a folder someone else made.
Function CheckFolder
    StrCpy $Problem ""
    StrCpy $Protect 1
    ; The full path, so that a "..\" cannot lead out of Program Files past the comparison below.
    System::Call 'kernel32::GetFullPathNameW(w "$INSTDIR", i ${NSIS_MAX_STRLEN}, w .r0, p 0) i .r1'
    ${If} $1 == 0
        StrCpy $Problem "$INSTDIR is not a valid folder."
        Return
    ${EndIf}
    StrCpy $INSTDIR $0
    !insertmacro KeepAccessUnder $0 "$PROGRAMFILES64"
    !insertmacro KeepAccessUnder $0 "$PROGRAMFILES32"
    ${If} $Protect == 1
    ${AndIf} ${FileExists} "$0\*.*"
    ${AndIf} $0 != $Installed
        StrCpy $Problem "$0 already exists. Outside Program Files, $Title goes only into a new folder, which the installer makes and protects."
    ${EndIf}
FunctionEnd

Function RefuseUnusableFolder
    Call CheckFolder
    ${If} $Problem != ""
        MessageBox MB_OK|MB_ICONEXCLAMATION "$Problem"
        Abort
    ${EndIf}
FunctionEnd

; Sets the access list on the folder alone (SetFileSecurity, not SetNamedSecurityInfo, which Wine
; merges with the parent's); what the installer writes into it afterwards inherits the list.
Function ProtectFolder
    System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${PROTECTED_FOLDER_SDDL}", i 1, *p .r1, p 0) i .r0 ? e'
    Pop $2
    ${If} $0 != 0
        ; DACL_SECURITY_INFORMATION; the descriptor's own SE_DACL_PROTECTED cuts the inheritance.
        System::Call 'advapi32::SetFileSecurityW(w "$INSTDIR", i 4, p r1) i .r0 ? e'
        Pop $2
        System::Call 'kernel32::LocalFree(p r1)'
    ${EndIf}
    ; 0 once the list is set, else the system's error code.
    ${If} $0 != 0
        StrCpy $0 0
    ${Else}
        StrCpy $0 $2
    ${EndIf}
FunctionEnd

; Deletes the program, then its help file, before anything else: a running orvane.exe cannot be
; deleted (nor a help file open in its viewer), and until both are gone nothing else is touched, so
; a run refused here leaves the installed Orvane whole, its uninstall entry included.
!macro DefineRemoveProgram un
Function ${un}RemoveProgram
  retry:
    Delete "$INSTDIR\orvane.exe"
    ${IfNot} ${FileExists} "$INSTDIR\orvane.exe"
        Delete "$INSTDIR\orvane.HLP"
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\orvane.exe"
    ${OrIf} ${FileExists} "$INSTDIR\orvane.HLP"
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$Title is running. Close it and its help, then press Retry." /SD IDCANCEL IDRETRY retry
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
    CreateDirectory "$INSTDIR"
    ${If} $Protect == 1
        Call ProtectFolder
        ${If} $0 != 0
            RMDir "$INSTDIR"
            !insertmacro Refuse "The installer could not protect $INSTDIR against changes by other users (error $0)."
        ${EndIf}
    ${EndIf}
    Call RemoveProgram
    ; A file written over keeps its old access list: the uninstaller is written anew, like the rest.
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
