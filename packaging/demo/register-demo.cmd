@echo off
rem Registers the demo's board driver, VirtualBoard.dll beside this script,
rem under the device name VirtualBoard, in the 64-bit and in the 32-bit view
rem of the registry, so that QorvelGen.exe of either build finds it. The
rem driver of a real board (QorvelE) is left as it is.
setlocal
set "KEY=HKLM\SOFTWARE\Brackwell\Drivers\1.0\VirtualBoard"
set "DLL=%~dp0VirtualBoard.dll"
if not exist "%DLL%" goto missing
reg add "%KEY%" /v path /t REG_SZ /d "%DLL%" /f /reg:64 >nul 2>&1
if errorlevel 1 goto refused
reg add "%KEY%" /v path /t REG_SZ /d "%DLL%" /f /reg:32 >nul 2>&1
if errorlevel 1 goto refused
echo register-demo: VirtualBoard registered: %DLL%
echo register-demo: now start run-demo.cmd
exit /b 0

:missing
echo register-demo: %DLL% is missing: unpack the whole zip first.
exit /b 1

:refused
echo register-demo: writing %KEY% was refused.
echo register-demo: writing under HKLM needs an administrator: right-click
echo register-demo: register-demo.cmd, choose "Run as administrator".
exit /b 1
