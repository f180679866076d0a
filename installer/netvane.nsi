; Netvane 2.0 setup: the programs and the help file into Program Files, App Paths, the program
; key's build number, a Start Menu shortcut and an uninstaller in Add/Remove Programs.
;
; The build passes on makensis's command line (installer/CMakeLists.txt):
;   BUILD     the build number as six digits, as the patch information file writes it (000213)
;   VERSION   2.0.<build>
;   PROGRAMS  folder of the stripped programs and NetvaneHelp.chm
;   ICON      the program icon
;   OUTFILE   the installer to write
;   REG_TOOL  defined when netvane-reg.exe is among the programs
;
; Unattended updates: NVEupdate runs a downloaded installer as c:\netvane.exe, with no
; arguments, and waits for it. Where the administrator has set the updater to run unattended
; ("AutoUpdate" = 1 under the program key) nobody is there to click through pages, so the
; installer then runs silently, as with /S. Otherwise it shows its pages.

Unicode true
; The programs are 64-bit and so is the installer: it sees the 64-bit registry and Program
; Files directly, and needs no 32-bit subsystem (64-bit Wine has none).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define PROGRAM_KEY "SOFTWARE\Orlenta\Netvane 2.0"
!define APP_PATHS "SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\Netvane.exe"
!define UNINSTALL_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Netvane"
!define RUN_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Run"

Name "Netvane 2.0"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Netvane"
; An update goes where the program already is.
InstallDirRegKey HKLM "${APP_PATHS}" "Path"
BrandingText "Netvane ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey ProductName "Netvane 2.0"
VIAddVersionKey CompanyName "Orlenta"
VIAddVersionKey FileDescription "Netvane 2.0 Setup"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey LegalCopyright "Orlenta"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; A running program cannot be overwritten but can be renamed, and during an unattended update
; the updater that started this installer is running from this folder. The renamed file goes
; with the next installation, or at the next restart.
!macro PutProgram NAME
  Delete "$INSTDIR\${NAME}.old"
  ClearErrors
  Delete "$INSTDIR\${NAME}"
  ${If} ${Errors}
    Rename "$INSTDIR\${NAME}" "$INSTDIR\${NAME}.old"
    Delete /REBOOTOK "$INSTDIR\${NAME}.old"
  ${EndIf}
  ClearErrors
  File "${PROGRAMS}\${NAME}"
  ${If} ${Errors}
    MessageBox MB_ICONSTOP "$INSTDIR\${NAME} could not be written. Netvane was not updated." /SD IDOK
    Abort
  ${EndIf}
!macroend

!macro RemoveProgram NAME
  Delete "$INSTDIR\${NAME}"
  Delete /REBOOTOK "$INSTDIR\${NAME}.old"
!macroend

!macro Programs MACRO
  !insertmacro ${MACRO} Netvane.exe
  !insertmacro ${MACRO} NVEupdate.exe
  !insertmacro ${MACRO} NVEFilter.exe
  !insertmacro ${MACRO} netvanectl.exe
  !ifdef REG_TOOL
    !insertmacro ${MACRO} netvane-reg.exe
  !endif
!macroend

Function .onInit
  SetRegView 64
  ; A number reads as its decimal text, so "AutoUpdate" may be either kind.
  ReadRegStr $0 HKLM "${PROGRAM_KEY}" "AutoUpdate"
  ${If} $0 = 1
    SetSilent silent
  ${EndIf}
FunctionEnd

Section "Netvane"
  SetOutPath "$INSTDIR"
  !insertmacro Programs PutProgram
  File "${PROGRAMS}\NetvaneHelp.chm"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; The updater's copy type reads "Path".
  WriteRegStr HKLM "${APP_PATHS}" "" "$INSTDIR\Netvane.exe"
  WriteRegStr HKLM "${APP_PATHS}" "Path" "$INSTDIR"
  WriteRegStr HKLM "${PROGRAM_KEY}" "BuildNo" "${BUILD}"

  SetShellVarContext all
  CreateShortcut "$SMPROGRAMS\Netvane.lnk" "$INSTDIR\Netvane.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Netvane 2.0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Orlenta"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Netvane.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K /G=0" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

; The folder goes last, so that once it is gone the uninstallation is complete.
Section "Uninstall"
  DeleteRegKey HKLM "${APP_PATHS}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegValue HKLM "${RUN_KEY}" "Netvane 2.0"
  ; The logon task the program keeps beside the Run value; one that is not there is no error.
  nsExec::Exec '"$SYSDIR\schtasks.exe" /Delete /TN "Netvane 2.0" /F'
  Pop $0
  ; The user's locations under SOFTWARE\Orlenta\SessionInfo stay for a later installation.
  DeleteRegKey HKLM "${PROGRAM_KEY}"
  DeleteRegKey /ifempty HKLM "SOFTWARE\Orlenta"

  SetShellVarContext all
  Delete "$SMPROGRAMS\Netvane.lnk"

  !insertmacro Programs RemoveProgram
  Delete "$INSTDIR\NetvaneHelp.chm"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
