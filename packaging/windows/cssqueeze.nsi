; The Windows installer: puts cssqueeze.exe with README.txt and LICENSE.txt into
; Program Files\cssqueeze, writes the right-click verb exactly as register mode would, and
; lists the program under Settings > Apps with an uninstaller that takes all of it away.
; Both run silently with /S. Built by the `installer` target of the Windows build:
;   makensis -DVERSION=x.y.z -DPROGRAM=cssqueeze.exe -DREADME=README.md -DLICENSE=LICENSE
;            -DOUTFILE=cssqueeze-x.y.z-setup.exe cssqueeze.nsi

!ifndef VERSION | PROGRAM | README | LICENSE | OUTFILE
  !error "define VERSION, PROGRAM, README, LICENSE and OUTFILE"
!endif

; Debian's wine64 runs only 64-bit programs, and a 64-bit installer sees the 64-bit
; registry and Program Files without redirection.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include FileFunc.nsh
!include LogicLib.nsh

!define VERB_KEY "*\shell\Compress (css style)"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\cssqueeze"
!define PUBLISHER "the cssqueeze developers"

Name "cssqueeze ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\cssqueeze"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey ProductName "cssqueeze"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey FileDescription "cssqueeze ${VERSION} setup"
VIAddVersionKey CompanyName "${PUBLISHER}"
VIAddVersionKey LegalCopyright "Copyright (c) 2026 ${PUBLISHER}, MIT licence"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; The verb lives under HKEY_CLASSES_ROOT and the program under Program Files: without
; administrator rights neither can be written, so say so at once instead of half installing.
!macro REQUIRE_ADMINISTRATOR
  SetRegView 64
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_ICONSTOP "cssqueeze must be installed and removed as administrator." /SD IDOK
    SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
!macroend

; Stops the installation with a message and a non-zero exit status when the last
; operations set the error flag, so that a failure is never reported as success.
!macro ABORT_ON_ERROR WHAT
  ${If} ${Errors}
    SetErrorLevel 2
    Abort "Could not ${WHAT}."
  ${EndIf}
!macroend

Function .onInit
  !insertmacro REQUIRE_ADMINISTRATOR
FunctionEnd

Function un.onInit
  !insertmacro REQUIRE_ADMINISTRATOR
FunctionEnd

Section "cssqueeze"
  ClearErrors
  SetOutPath "$INSTDIR"
  File "/oname=cssqueeze.exe" "${PROGRAM}"
  File "/oname=README.txt" "${README}"
  File "/oname=LICENSE.txt" "${LICENSE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  !insertmacro ABORT_ON_ERROR "write the files into $INSTDIR"

  ; The same command that register mode writes, so either may replace the other.
  WriteRegStr HKCR "${VERB_KEY}\command" "" '"$INSTDIR\cssqueeze.exe" %1'
  !insertmacro ABORT_ON_ERROR "write the right-click verb"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "cssqueeze"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\cssqueeze.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  !insertmacro ABORT_ON_ERROR "write the uninstall entry"
SectionEnd

Section "Uninstall"
  ; The verb goes only while it still runs this copy: if the user has since registered
  ; another copy with register mode, the verb is theirs and stays.
  ReadRegStr $0 HKCR "${VERB_KEY}\command" ""
  ${If} $0 == '"$INSTDIR\cssqueeze.exe" %1'
  ${OrIf} $0 == ""
    DeleteRegKey HKCR "${VERB_KEY}"
  ${EndIf}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ; Only the files the installer put there: anything the user added keeps the folder.
  Delete "$INSTDIR\cssqueeze.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
