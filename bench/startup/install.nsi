; The floor for the program's install: a silent installer that writes the same library into
; the system folder and registers it through its DllRegisterServer, as the program's job does.
; makensis -DCAPICOM=<path of capicom.dll> -DOUTFILE=<installer.exe> install.nsi
Unicode true
SilentInstall silent
RequestExecutionLevel admin
Name "CAPICOM 2.0 setup"
OutFile "${OUTFILE}"

Section
  SetOutPath $SYSDIR
  SetOverwrite on
  ClearErrors
  File "${CAPICOM}"
  RegDLL "$SYSDIR\capicom.dll"
  IfErrors 0 +2
    SetErrorLevel 4
SectionEnd
