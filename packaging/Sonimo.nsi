; The Windows installer of Sonimo. Built by the win32 tree (makensis -INPUTCHARSET UTF8):
;   makensis -DVERSION=4.00 -DEXE=path\Sonimo.exe -DICON=sonimo.ico -DREADME=README.md -DOUT=setup.exe Sonimo.nsi
; A per-machine install under Program Files: the file types are registered for every user
; in HKLM\Software\Classes, which Wine's shell reads too (it does not merge per-user classes).
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh

!define PRODUCT "Sonimo"
!define PUBLISHER "Quarlo Software"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Sonimo"
!define TONE_CLASS "Sonimo.ToneFile"
!define LIST_CLASS "Sonimo.ToneList"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUT}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
Icon "${ICON}"
UninstallIcon "${ICON}"
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1041 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1041 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1041 "FileDescription" "${PRODUCT} ${VERSION} セットアップ"
VIAddVersionKey /LANG=1041 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

; A running copy holds Sonimo.exe open: ask it to close the way the program expects
; (WM_USER + 102 and WM_CLOSE to its main window and its instance window), at most 18
; times 300 ms.
!macro CLOSE_RUNNING
  StrCpy $R1 0
  ${Do}
    FindWindow $R0 "QuarloSoftware_InstanceWindow" "Sonimo"
    ${If} $R0 == 0
      ${Break}
    ${EndIf}
    System::Call 'user32::GetWindowLongW(p R0, i -21) p .R2'
    ${If} $R2 != 0
      System::Call 'user32::PostMessageW(p R2, i 1126, p 0, p 0)'
      System::Call 'user32::PostMessageW(p R2, i 16, p 0, p 0)'
    ${EndIf}
    System::Call 'user32::PostMessageW(p R0, i 1126, p 0, p 0)'
    System::Call 'user32::PostMessageW(p R0, i 16, p 0, p 0)'
    Sleep 300
    IntOp $R1 $R1 + 1
  ${LoopUntil} $R1 >= 18
  ${If} $R1 > 0
    Sleep 500
  ${EndIf}
!macroend

!macro REGISTER_TYPE EXT CLASS TEXT
  WriteRegStr HKLM "Software\Classes\${EXT}" "" "${CLASS}"
  WriteRegStr HKLM "Software\Classes\${CLASS}" "" "${TEXT}"
  WriteRegStr HKLM "Software\Classes\${CLASS}\DefaultIcon" "" "$INSTDIR\Sonimo.exe,0"
  WriteRegStr HKLM "Software\Classes\${CLASS}\shell" "" "open"
  WriteRegStr HKLM "Software\Classes\${CLASS}\shell\open\command" "" '"$INSTDIR\Sonimo.exe" "%1"'
!macroend

; The extension is left alone when another program has taken it over since.
!macro UNREGISTER_TYPE EXT CLASS
  ReadRegStr $R0 HKLM "Software\Classes\${EXT}" ""
  ${If} $R0 == "${CLASS}"
    DeleteRegValue HKLM "Software\Classes\${EXT}" ""
    DeleteRegKey /ifempty HKLM "Software\Classes\${EXT}"
  ${EndIf}
  DeleteRegKey HKLM "Software\Classes\${CLASS}"
!macroend

Section "Sonimo"
  SetShellVarContext all
  !insertmacro CLOSE_RUNNING
  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "/oname=Sonimo.exe" "${EXE}"
  File "/oname=README.md" "${README}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortCut "$SMPROGRAMS\Sonimo.lnk" "$INSTDIR\Sonimo.exe" "" "$INSTDIR\Sonimo.exe" 0

  !insertmacro REGISTER_TYPE ".tdf" "${TONE_CLASS}" "Sonimo トーン ファイル"
  !insertmacro REGISTER_TYPE ".tdl" "${LIST_CLASS}" "Sonimo トーン一覧ファイル"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Sonimo.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

; The user's settings (the registry key and current.tdf in the application data) stay.
Section "Uninstall"
  SetShellVarContext all
  !insertmacro CLOSE_RUNNING
  Delete "$INSTDIR\Sonimo.exe"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Sonimo.lnk"
  !insertmacro UNREGISTER_TYPE ".tdf" "${TONE_CLASS}"
  !insertmacro UNREGISTER_TYPE ".tdl" "${LIST_CLASS}"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
