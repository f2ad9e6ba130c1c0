; The Windows installer: the programs for every user of the machine in Program Files, a
; Start-menu entry, an uninstaller registered with the system and, when chosen, the tools'
; folder on the system PATH. scripts/windows.sh builds it with makensis, defining VERSION,
; OUTFILE and FILES (a folder that holds files.nsh and unfiles.nsh, the lists of what to
; install and remove, written from the programs' folder), so the uninstaller removes exactly
; what was installed and leaves whatever else someone put into the folder.
;
; Silent installs: /S, with /PATH to put the folder on the PATH and /D=folder for another
; folder. The 64-bit stub: the programs are 64-bit, and so the installer reads and writes the
; 64-bit registry and Program Files.

Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include FileFunc.nsh
!include LogicLib.nsh
!include Sections.nsh
!include StrFunc.nsh
!include WinMessages.nsh
${StrStr}
${UnStrRep}

!define PRODUCT "Q390 数据采集器"
!define PUBLISHER "晨星测控"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Q390"
!define ENVIRONMENT_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Q390"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PUBLISHER}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=2052 "ProductName" "Q390"
VIAddVersionKey /LANG=2052 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT} 安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "© 2026 ${PUBLISHER}"

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

LoadLanguageFile "${NSISDIR}\Contrib\Language files\SimpChinese.nlf"

Section "Q390" ProgramsSection
  SectionIn RO
  SetShellVarContext all
  !include "${FILES}\files.nsh"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\q390.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\q390.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; NSIS strings hold NSIS_MAX_STRLEN characters: a longer PATH would come back cut short and
; must not be written back, so it is left as it is and the folder is not added.
Section /o "将 q390-dat、q390-rec 加入 PATH" PathSection
  ReadRegStr $0 HKLM "${ENVIRONMENT_KEY}" "Path"
  StrLen $1 $0
  ${If} $1 >= ${NSIS_MAX_STRLEN}
    DetailPrint "PATH is too long to be changed here; add $INSTDIR to it by hand."
    Return
  ${EndIf}
  ${StrStr} $2 "$0;" "$INSTDIR;"
  ${If} $2 == ""
    WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$0;$INSTDIR"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "AddedToPath" 1
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  ${EndIf}
SectionEnd

Function .onInit
  SetRegView 64
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/PATH" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${PathSection}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "AddedToPath"
  ${If} $0 == 1
    ReadRegStr $1 HKLM "${ENVIRONMENT_KEY}" "Path"
    StrLen $2 $1
    ${If} $2 < ${NSIS_MAX_STRLEN}
      ${UnStrRep} $1 $1 ";$INSTDIR" ""
      WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" $1
      SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
    ${Else}
      DetailPrint "PATH is too long to be changed here; remove $INSTDIR from it by hand."
    ${EndIf}
  ${EndIf}
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  !include "${FILES}\unfiles.nsh"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
