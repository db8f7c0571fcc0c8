@echo off
rem Registers TonvaneVirtualAsio.dll, beside this file, as the ASIO driver
rem "Tonvane Virtual ASIO". The plug-in is a 32-bit program, so the driver is
rem registered with the 32-bit regsvr32: on 64-bit Windows the one in SysWOW64.
rem Writes to HKEY_LOCAL_MACHINE: run it as administrator.
setlocal
set "dll=%~dp0TonvaneVirtualAsio.dll"
set "regsvr=%SystemRoot%\System32\regsvr32.exe"
if exist "%SystemRoot%\SysWOW64\regsvr32.exe" set "regsvr=%SystemRoot%\SysWOW64\regsvr32.exe"
"%regsvr%" /s "%dll%"
if errorlevel 1 goto failed
echo Registered "%dll%" as Tonvane Virtual ASIO.
exit /b 0
:failed
echo Could not register "%dll%": run this file as administrator.
exit /b 1
