@echo off
rem Registers OPCLumbra from this folder (run it as administrator): the
rem proxy/stub DLL of the OPC interfaces, the OPC server list service (unless
rem one is registered already) and the server class.
setlocal
cd /d "%~dp0"
set regsvr=%windir%\System32\regsvr32.exe
if exist "%windir%\SysWOW64\regsvr32.exe" set regsvr=%windir%\SysWOW64\regsvr32.exe
"%regsvr%" /s QuillonPS.dll || goto failed
OPCServerList.exe /RegServer || goto failed
OPCLumbra.exe /RegServer || goto failed
echo OPCLumbra is registered.
exit /b 0
:failed
echo Registration failed (see above).
exit /b 1
