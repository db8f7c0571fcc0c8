@echo off
rem Removes the ASIO driver "Tonvane Virtual ASIO" (TonvaneVirtualAsio.dll, beside
rem this file) from the registry, with the 32-bit regsvr32 that registered it.
rem Writes to HKEY_LOCAL_MACHINE: run it as administrator.
rem
rem   unregister.cmd [/quiet]
rem
rem Double-clicked, it shows regsvr32's own message box, then regsvr32's exit code,
rem and waits for a key so that its window can be read. /quiet is for scripts: no
rem message box, no waiting. The exit code is regsvr32's.
setlocal
set "dll=%~dp0TonvaneVirtualAsio.dll"
set "regsvr=%SystemRoot%\System32\regsvr32.exe"
if exist "%SystemRoot%\SysWOW64\regsvr32.exe" set "regsvr=%SystemRoot%\SysWOW64\regsvr32.exe"
set "silent="
if /i "%~1"=="/quiet" set "silent=/s"
rem Only an administrator may list the computer's network sessions (which needs the
rem Server service) or its file-system filters.
set "admin=yes"
net session >nul 2>&1
if errorlevel 1 fltmc >nul 2>&1
if errorlevel 1 set "admin=no"
echo Unregistering "%dll%"
if "%admin%"=="yes" echo as administrator, with "%regsvr%".
if "%admin%"=="no" echo NOT as administrator, with "%regsvr%".
"%regsvr%" /u %silent% "%dll%"
set "code=%errorlevel%"
echo regsvr32's exit code: %code%
if "%code%"=="0" echo Unregistered "%dll%".
if "%code%"=="3" echo Could not load "%dll%": it must be the package's, beside this file.
if "%code%"=="4" echo "%dll%" is not the package's driver: it cannot unregister itself.
if "%code%"=="5" if "%admin%"=="no" echo Could not remove the driver's registry keys: run this file as administrator.
if "%code%"=="5" if "%admin%"=="yes" echo Could not remove the driver's registry keys: see regsvr32's message.
if not "%code%"=="0" echo Could not unregister "%dll%".
if not defined silent pause
exit /b %code%
