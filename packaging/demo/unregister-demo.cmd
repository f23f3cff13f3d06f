@echo off
rem Removes what register-demo.cmd added: the VirtualBoard entry, from both
rem views of the registry. A view without the entry is not an error.
setlocal
set "KEY=HKLM\SOFTWARE\Brackwell\Drivers\1.0\VirtualBoard"
call :remove 64
if errorlevel 1 goto refused
call :remove 32
if errorlevel 1 goto refused
echo unregister-demo: VirtualBoard removed from the registry.
exit /b 0

:remove
reg query "%KEY%" /reg:%1 >nul 2>&1
if errorlevel 1 exit /b 0
reg delete "%KEY%" /f /reg:%1 >nul 2>&1
if errorlevel 1 exit /b 1
exit /b 0

:refused
echo unregister-demo: removing %KEY% was refused.
echo unregister-demo: writing under HKLM needs an administrator: right-click
echo unregister-demo: unregister-demo.cmd, choose "Run as administrator".
exit /b 1
