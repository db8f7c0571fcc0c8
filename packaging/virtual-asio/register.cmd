@echo off
rem Registers TonvaneVirtualAsio.dll, beside this file, as the ASIO driver
rem "Tonvane Virtual ASIO". The plug-in is a 32-bit program, so the driver is
rem registered with the 32-bit regsvr32: on 64-bit Windows the one in SysWOW64.
rem Writes to HKEY_LOCAL_MACHINE: run it as administrator.
rem
rem   register.cmd [/quiet]
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
echo Registering "%dll%"
if "%admin%"=="yes" echo as administrator, with "%regsvr%".
if "%admin%"=="no" echo NOT as administrator, with "%regsvr%".
"%regsvr%" %silent% "%dll%"
set "code=%errorlevel%"
echo regsvr32's exit code: %code%
if "%code%"=="0" echo Registered "%dll%" as Tonvane Virtual ASIO.
if "%code%"=="3" echo Could not load "%dll%": it must be the package's, beside this file.
if "%code%"=="4" echo "%dll%" is not the package's driver: it cannot register itself.
if "%code%"=="5" if "%admin%"=="no" echo Could not write the driver's registry keys: run this file as administrator.
if "%code%"=="5" if "%admin%"=="yes" echo Could not write the driver's registry keys: see regsvr32's message.
if not "%code%"=="0" echo Could not register "%dll%".
if not defined silent pause
exit /b %code%
