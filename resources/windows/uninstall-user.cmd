@echo off
rem Pirune no longer starts at login. Its folder and Data file are left as they are.
reg delete "HKCU\Software\Microsoft\Windows\CurrentVersion\Run" /v Pirune /f >nul 2>&1
echo Pirune no longer starts at login.
exit /b 0
