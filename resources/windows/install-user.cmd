@echo off
rem Starts Pirune at each login of this user, from this folder, and starts it now (not with
rem /nostart).
set "exe=%~dp0Pirune.exe"
if not exist "%exe%" (
    echo Pirune.exe is not beside this script.
    exit /b 1
)
reg add "HKCU\Software\Microsoft\Windows\CurrentVersion\Run" /v Pirune /t REG_SZ /d "\"%exe%\"" /f >nul
if errorlevel 1 exit /b 1
echo Pirune starts at each login: "%exe%"
if not "%~1"=="/nostart" start "" "%exe%"
exit /b 0
