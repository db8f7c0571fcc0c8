@echo off
rem Removes the ASIO driver "Tonvane Virtual ASIO" (TonvaneVirtualAsio.dll, beside
rem this file) from the registry, with the 32-bit regsvr32 that registered it.
rem Writes to HKEY_LOCAL_MACHINE: run it as administrator.
setlocal
set "dll=%~dp0TonvaneVirtualAsio.dll"
set "regsvr=%SystemRoot%\System32\regsvr32.exe"
if exist "%SystemRoot%\SysWOW64\regsvr32.exe" set "regsvr=%SystemRoot%\SysWOW64\regsvr32.exe"
"%regsvr%" /u /s "%dll%"
if errorlevel 1 goto failed
echo Unregistered "%dll%".
exit /b 0
:failed
echo Could not unregister "%dll%": run this file as administrator.
exit /b 1
