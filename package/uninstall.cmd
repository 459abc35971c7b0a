@echo off
rem Takes back what install.cmd registered (run it as administrator); the
rem folder can be deleted afterwards.
setlocal
cd /d "%~dp0"
set regsvr=%windir%\System32\regsvr32.exe
if exist "%windir%\SysWOW64\regsvr32.exe" set regsvr=%windir%\SysWOW64\regsvr32.exe
OPCLumbra.exe /UnregServer
OPCServerList.exe /UnregServer
"%regsvr%" /u /s QuillonPS.dll
echo OPCLumbra is unregistered.
exit /b 0
