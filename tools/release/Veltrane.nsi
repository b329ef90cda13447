; The Windows installer: one program for 64- and 32-bit hosts.
;
; windows_installer.py stages the release trees and writes FILES, which
; defines HAVE_<tree>_<format> and a Files_<tree>_<format> macro for every
; plug-in folder the trees installed, and Files_docs. This script holds the
; pages, the folders and the record the uninstaller works from.
;
; Every folder the installer makes and every file it writes is listed in
; install.log beside the uninstaller; the uninstaller removes exactly those
; files, then those folders when they are empty, then its registry key (and
; the key above it, if the installer made that).
;
; Command line (besides the installer's own /S and /D=):
;   /CurrentUser        install for this user only (no administrator rights needed)
;   /VST2DIR=FOLDER     the 64-bit VST 2.4 plug-in's folder
;   /VST2DIR32=FOLDER   the 32-bit VST 2.4 plug-in's folder

; x86 runs on every Windows; an amd64 build of the same script serves
; machines that cannot run 32-bit programs (the tests on such a machine).
!ifndef TARGET
  !define TARGET x86-unicode
!endif
Target ${TARGET}
; LogicLib's unused labels where a test is decided at compile time.
!pragma warning disable 6012
ManifestDPIAware true
SetCompressor /SOLID /FINAL lzma
RequestExecutionLevel highest
; The staged files all carry the release's time; installed files keep it.
SetDateSave on
AllowSkipFiles off

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include TextFunc.nsh
!include Sections.nsh
!include x64.nsh
!include "${FILES}"

!define PRODUCT "Quorvel Veltrane"
!define UNINSTALL_PARENT "Software\Microsoft\Windows\CurrentVersion\Uninstall"
!define UNINSTALL_KEY "${UNINSTALL_PARENT}\Quorvel Veltrane"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 ProductName "${PRODUCT}"
VIAddVersionKey /LANG=1033 CompanyName "Quorvel"
VIAddVersionKey /LANG=1033 FileDescription "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 FileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 LegalCopyright "Copyright (c) Quorvel"

Var Scope      ; "all" (every user, needs administrator rights) or "user"
Var Record     ; the install record being written
Var Vst3Dir64
Var ClapDir64
Var Vst2Dir64
Var Vst3Dir32
Var ClapDir32
Var Vst2Dir32

; Pages

!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_SMALLDESC
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENCE}"
!insertmacro MUI_PAGE_COMPONENTS

!define MUI_PAGE_HEADER_TEXT "Manual and uninstaller"
!define MUI_PAGE_HEADER_SUBTEXT "Where the manual, the factory bank and the uninstaller go."
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup puts the manual, the factory bank file and the uninstaller into this folder. The plug-ins go into the folders hosts scan."
!insertmacro MUI_PAGE_DIRECTORY

!ifdef HAVE_win64_vst
!define MUI_PAGE_HEADER_TEXT "VST 2.4 folder for 64-bit hosts"
!define MUI_PAGE_HEADER_SUBTEXT "Where your 64-bit host looks for VST 2.4 plug-ins."
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup puts the VST 2.4 plug-in for 64-bit hosts into this folder. Choose the folder your host scans for VST 2.4 plug-ins (its plug-in settings name it)."
!define MUI_DIRECTORYPAGE_VARIABLE $Vst2Dir64
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipUnlessVst2x64
!insertmacro MUI_PAGE_DIRECTORY
!endif

!ifdef HAVE_win32_vst
!define MUI_PAGE_HEADER_TEXT "VST 2.4 folder for 32-bit hosts"
!define MUI_PAGE_HEADER_SUBTEXT "Where your 32-bit host looks for VST 2.4 plug-ins."
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup puts the VST 2.4 plug-in for 32-bit hosts into this folder. Choose the folder your 32-bit host scans for VST 2.4 plug-ins."
!define MUI_DIRECTORYPAGE_VARIABLE $Vst2Dir32
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipUnlessVst2x86
!insertmacro MUI_PAGE_DIRECTORY
!endif

!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "${PRODUCT} is installed. Let your host rescan its plug-ins and look for ${PRODUCT} among the effects."
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\Veltrane-Manual.html"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Open the manual"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!define MUI_PAGE_CUSTOMFUNCTION_SHOW OfferManualIfInstalled
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; The record

!macro Record kind path
  FileWriteUTF16LE $Record "${kind} ${path}$\r$\n"
!macroend

; Makes a folder and its missing parents, recording each one it made (the
; outermost first), so that the uninstaller removes only folders it made.
Function MakeFolder
  Exch $0
  Push $1
  Push $2
  StrCpy $1 $0
  StrCpy $2 0
  ${DoUntil} ${FileExists} "$1\*.*"
    Push $1
    IntOp $2 $2 + 1
    ${GetParent} $1 $1
    ${IfThen} $1 == "" ${|} ${ExitDo} ${|}
  ${Loop}
  ${DoWhile} $2 > 0
    Pop $1
    ClearErrors
    CreateDirectory $1
    ${If} ${Errors}
      Abort "Could not make the folder $1"
    ${EndIf}
    DetailPrint "Made the folder $1"
    !insertmacro Record folder $1
    IntOp $2 $2 - 1
  ${Loop}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

!macro Folder path
  Push "${path}"
  Call MakeFolder
!macroend

; One file into a folder made before; SOURCE is the staged file.
!macro Put folder name source
  SetOutPath "${folder}"
  File "/oname=${name}" "${source}"
  !insertmacro Record file "${folder}\${name}"
!macroend

; Where everything goes, for every user or for this one.
Function SetFolders
  ${If} $Scope == all
    SetShellVarContext all
    ${If} ${RunningX64}
      StrCpy $0 $PROGRAMFILES64
      StrCpy $Vst3Dir64 "$COMMONFILES64\VST3"
      StrCpy $ClapDir64 "$COMMONFILES64\CLAP"
      StrCpy $Vst2Dir64 "$PROGRAMFILES64\VSTPlugins"
    ${Else}
      StrCpy $0 $PROGRAMFILES
    ${EndIf}
    ; Program Files (x86) on 64-bit Windows, Program Files on 32-bit Windows
    ; (read from the environment, which says so to 64-bit programs too).
    ReadEnvStr $1 "ProgramFiles(x86)"
    ReadEnvStr $2 "CommonProgramFiles(x86)"
    ${IfThen} $1 == "" ${|} StrCpy $1 $PROGRAMFILES ${|}
    ${IfThen} $2 == "" ${|} StrCpy $2 $COMMONFILES ${|}
    StrCpy $Vst3Dir32 "$2\VST3"
    StrCpy $ClapDir32 "$2\CLAP"
    StrCpy $Vst2Dir32 "$1\VSTPlugins"
  ${Else}
    SetShellVarContext current
    StrCpy $0 "$LOCALAPPDATA\Programs"
    StrCpy $Vst3Dir64 "$LOCALAPPDATA\Programs\Common\VST3"
    StrCpy $ClapDir64 "$LOCALAPPDATA\Programs\Common\CLAP"
    StrCpy $Vst2Dir64 "$LOCALAPPDATA\Programs\VSTPlugins"
    ; A VST3 bundle holds both architectures; there is no 32-bit per-user folder.
    StrCpy $Vst3Dir32 "$LOCALAPPDATA\Programs\Common\VST3"
    StrCpy $ClapDir32 "$LOCALAPPDATA\Programs\Common\CLAP"
    StrCpy $Vst2Dir32 "$LOCALAPPDATA\Programs\VSTPlugins (x86)"
  ${EndIf}
  ; /D= on the command line comes first.
  ${If} $INSTDIR == ""
    StrCpy $INSTDIR "$0\Quorvel\Veltrane"
  ${EndIf}
FunctionEnd

; Sections: the hidden first one opens the record, the hidden last one
; writes the uninstaller, its registry key and the record.

Section "-Begin"
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  InitPluginsDir
  FileOpen $Record "$PLUGINSDIR\install.log" w
  FileWriteUTF16LE /BOM $Record "${PRODUCT} ${VERSION}, installed for "
  ${If} $Scope == all
    FileWriteUTF16LE $Record "all users$\r$\n"
  ${Else}
    FileWriteUTF16LE $Record "this user$\r$\n"
  ${EndIf}
  ; Installed again into the same folder: what the earlier install put
  ; there is still to be removed by the uninstaller.
  ClearErrors
  FileOpen $0 "$INSTDIR\install.log" r
  ${IfNot} ${Errors}
    ${Do}
      ClearErrors
      FileReadUTF16LE $0 $1
      ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
      StrCpy $2 $1 5
      StrCpy $3 $1 7
      StrCpy $4 $1 4
      ${If} $2 == "file "
      ${OrIf} $3 == "folder "
      ${OrIf} $4 == "key "
        FileWriteUTF16LE $Record $1
      ${EndIf}
    ${Loop}
    FileClose $0
  ${EndIf}
  !insertmacro Folder $INSTDIR
SectionEnd

!ifdef HAVE_win64_vst3
Section "VST3 plug-in (64-bit hosts)" SecVst3x64
  !insertmacro Folder $Vst3Dir64
  !insertmacro Files_win64_vst3
SectionEnd
!endif

!ifdef HAVE_win64_clap
Section "CLAP plug-in (64-bit hosts)" SecClapx64
  !insertmacro Folder $ClapDir64
  !insertmacro Files_win64_clap
SectionEnd
!endif

!ifdef HAVE_win64_vst
Section "VST 2.4 plug-in (64-bit hosts)" SecVst2x64
  !insertmacro Folder $Vst2Dir64
  !insertmacro Files_win64_vst
SectionEnd
!endif

!ifdef HAVE_win32_vst3
Section "VST3 plug-in (32-bit hosts)" SecVst3x86
  !insertmacro Folder $Vst3Dir32
  !insertmacro Files_win32_vst3
SectionEnd
!endif

!ifdef HAVE_win32_clap
Section "CLAP plug-in (32-bit hosts)" SecClapx86
  !insertmacro Folder $ClapDir32
  !insertmacro Files_win32_clap
SectionEnd
!endif

!ifdef HAVE_win32_vst
Section "VST 2.4 plug-in (32-bit hosts)" SecVst2x86
  !insertmacro Folder $Vst2Dir32
  !insertmacro Files_win32_vst
SectionEnd
!endif

Section "Manual and factory bank" SecDocs
  !insertmacro Files_docs
  !insertmacro Folder "$SMPROGRAMS\${PRODUCT}"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\${PRODUCT} manual.lnk" "$INSTDIR\Veltrane-Manual.html"
  !insertmacro Record file "$SMPROGRAMS\${PRODUCT}\${PRODUCT} manual.lnk"
SectionEnd

Section "-End"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  ; The size Windows shows: what the chosen parts hold, in KiB.
  StrCpy $0 0
  StrCpy $1 0
  ${Do}
    ClearErrors
    SectionGetFlags $1 $2
    ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
    IntOp $2 $2 & ${SF_SELECTED}
    ${If} $2 <> 0
      SectionGetSize $1 $2
      IntOp $0 $0 + $2
    ${EndIf}
    IntOp $1 $1 + 1
  ${Loop}
  ; SHCTX is HKLM for every user, HKCU for this one. A user who never
  ; installed a program has no key for uninstall entries: it is made here
  ; and removed again with ours.
  ClearErrors
  EnumRegKey $1 SHCTX "${UNINSTALL_PARENT}" 0
  ${If} ${Errors}
    !insertmacro Record key "${UNINSTALL_PARENT}"
  ${EndIf}
  WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayName "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayVersion "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" Publisher "Quorvel"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" URLInfoAbout "http://www.quorvel.com"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" InstallLocation "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayIcon "$INSTDIR\Uninstall.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" UninstallString '"$INSTDIR\Uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" QuietUninstallString '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" NoModify 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" NoRepair 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" EstimatedSize $0
  FileClose $Record
  ClearErrors
  CopyFiles /SILENT "$PLUGINSDIR\install.log" "$INSTDIR\install.log"
  ${If} ${Errors}
    Abort "Could not write $INSTDIR\install.log"
  ${EndIf}
  DetailPrint "Every file and folder installed is listed in $INSTDIR\install.log"
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !ifdef HAVE_win64_vst3
    !insertmacro MUI_DESCRIPTION_TEXT ${SecVst3x64} "Veltrane.vst3 in the VST3 folder every 64-bit VST3 host scans."
  !endif
  !ifdef HAVE_win64_clap
    !insertmacro MUI_DESCRIPTION_TEXT ${SecClapx64} "Veltrane.clap in the CLAP folder every 64-bit CLAP host scans."
  !endif
  !ifdef HAVE_win64_vst
    !insertmacro MUI_DESCRIPTION_TEXT ${SecVst2x64} "Veltrane64.dll for 64-bit VST 2.4 hosts, in a folder you choose."
  !endif
  !ifdef HAVE_win32_vst3
    !insertmacro MUI_DESCRIPTION_TEXT ${SecVst3x86} "The VST3 plug-in for 32-bit hosts."
  !endif
  !ifdef HAVE_win32_clap
    !insertmacro MUI_DESCRIPTION_TEXT ${SecClapx86} "The CLAP plug-in for 32-bit hosts."
  !endif
  !ifdef HAVE_win32_vst
    !insertmacro MUI_DESCRIPTION_TEXT ${SecVst2x86} "Veltrane.dll for 32-bit VST 2.4 hosts, in a folder you choose."
  !endif
  !insertmacro MUI_DESCRIPTION_TEXT ${SecDocs} "The manual (with a Start menu entry), the 32 factory programs as a VST 2.4 bank file, and the licence."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; Start-up: whom the install is for, and the folders' defaults. After the
; sections, whose numbers it uses.

!macro Unavailable section
  !insertmacro UnselectSection ${section}
  !insertmacro SetSectionFlag ${section} ${SF_RO}
!macroend

!macro Only32BitWindows
  !ifdef HAVE_win64_vst3
    !insertmacro Unavailable ${SecVst3x64}
  !endif
  !ifdef HAVE_win64_clap
    !insertmacro Unavailable ${SecClapx64}
  !endif
  !ifdef HAVE_win64_vst
    !insertmacro Unavailable ${SecVst2x64}
  !endif
!macroend

Function .onInit
  ${GetParameters} $R1
  ; Quotes out: Windows quotes a whole argument that holds a space
  ; ("/VST2DIR=C:\My Plugins"), which GetOptions would skip over. Folder
  ; names hold no quotes and no slashes, so the values stay whole.
  StrCpy $R0 ""
  StrCpy $R2 0
  ${Do}
    StrCpy $R3 $R1 1 $R2
    ${IfThen} $R3 == "" ${|} ${ExitDo} ${|}
    ${IfThen} $R3 != '"' ${|} StrCpy $R0 "$R0$R3" ${|}
    IntOp $R2 $R2 + 1
  ${Loop}
  ClearErrors
  ${GetOptions} $R0 "/CurrentUser" $R1
  ${IfNot} ${Errors}
    StrCpy $Scope user
  ${Else}
    UserInfo::GetAccountType
    Pop $R1
    ${If} $R1 == "Admin"
      StrCpy $Scope all
    ${Else}
      ; Asked, not assumed: a silent install (answered No) meant for
      ; everyone must not land in one user's folders.
      MessageBox MB_YESNO|MB_ICONQUESTION "Installing ${PRODUCT} for everyone on this computer needs administrator rights, which this account does not have.$\r$\n$\r$\nInstall it for your user account only? (Your host must then scan the folders in your user profile.)" /SD IDNO IDYES peruser
      SetErrorLevel 5
      Quit
      peruser:
      StrCpy $Scope user
    ${EndIf}
  ${EndIf}
  Call SetFolders
  ClearErrors
  ${GetOptions} $R0 "/VST2DIR=" $R1
  ${IfNot} ${Errors}
    StrCpy $Vst2Dir64 $R1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/VST2DIR32=" $R1
  ${IfNot} ${Errors}
    StrCpy $Vst2Dir32 $R1
  ${EndIf}
  ; 32-bit Windows runs no 64-bit host: those parts are shown but cannot be chosen.
  ${IfNot} ${RunningX64}
    !insertmacro Only32BitWindows
  ${EndIf}
FunctionEnd

!macro SkipUnless section
  ${IfNot} ${SectionIsSelected} ${section}
    Abort
  ${EndIf}
!macroend
!ifdef HAVE_win64_vst
Function SkipUnlessVst2x64
  !insertmacro SkipUnless ${SecVst2x64}
FunctionEnd
!endif
!ifdef HAVE_win32_vst
Function SkipUnlessVst2x86
  !insertmacro SkipUnless ${SecVst2x86}
FunctionEnd
!endif

Function OfferManualIfInstalled
  ${IfNot} ${SectionIsSelected} ${SecDocs}
    ShowWindow $mui.FinishPage.ShowReadme ${SW_HIDE}
  ${EndIf}
FunctionEnd

; The uninstaller

Function un.onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  ; The key whose folder is this one tells whom the install was for.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" InstallLocation
  ${If} $0 == $INSTDIR
    UserInfo::GetAccountType
    Pop $1
    ${If} $1 != "Admin"
      MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} was installed for every user of this computer; removing it needs administrator rights." /SD IDOK
      SetErrorLevel 5
      Quit
    ${EndIf}
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
  ${IfNot} ${FileExists} "$INSTDIR\install.log"
    MessageBox MB_OK|MB_ICONSTOP "There is no install record ($INSTDIR\install.log): nothing was removed." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetOutPath $TEMP
  InitPluginsDir
  ; Files first; the folders are kept aside until the files are gone.
  StrCpy $6 ""
  FileOpen $0 "$INSTDIR\install.log" r
  FileOpen $4 "$PLUGINSDIR\folders.txt" w
  ${Do}
    ClearErrors
    FileReadUTF16LE $0 $1
    ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
    ${TrimNewLines} $1 $1
    StrCpy $2 $1 5
    StrCpy $3 $1 7
    StrCpy $5 $1 4
    ${If} $5 == "key "
      StrCpy $6 $1 "" 4
    ${ElseIf} $2 == "file "
      StrCpy $1 $1 "" 5
      ${If} ${FileExists} $1
        Delete $1
      ${EndIf}
    ${ElseIf} $3 == "folder "
      StrCpy $1 $1 "" 7
      FileWriteUTF16LE $4 "$1$\r$\n"
    ${EndIf}
  ${Loop}
  FileClose $0
  FileClose $4
  Delete "$INSTDIR\install.log"
  Delete "$INSTDIR\Uninstall.exe"
  ; Folders only when empty, so anything of the user's stays; again and
  ; again until a pass removes none, which takes them deepest first.
  ${Do}
    StrCpy $5 0
    FileOpen $4 "$PLUGINSDIR\folders.txt" r
    ${Do}
      ClearErrors
      FileReadUTF16LE $4 $1
      ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
      ${TrimNewLines} $1 $1
      ${If} ${FileExists} "$1\*.*"
        ClearErrors
        RMDir $1
        ${IfNot} ${Errors}
          IntOp $5 $5 + 1
        ${EndIf}
      ${EndIf}
    ${Loop}
    FileClose $4
  ${LoopWhile} $5 > 0
  ${If} ${FileExists} "$INSTDIR\*.*"
    DetailPrint "Kept $INSTDIR: it holds files Setup did not put there"
  ${EndIf}
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ${If} $6 != ""
    DeleteRegKey /ifempty SHCTX $6
  ${EndIf}
SectionEnd
