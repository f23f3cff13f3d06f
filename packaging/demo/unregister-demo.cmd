@echo off
rem Removes what register-demo.cmd of this zip (@arch@) added: the VirtualBoard
rem entry of the @demo_view@-bit registry view. The other view belongs to the other
rem zip's demo and is left as it is. No entry to remove is not an error.
setlocal
set "KEY=HKLM\SOFTWARE\Brackwell\Drivers\1.0\VirtualBoard"
set "VIEW=@demo_view@"
set "CODE=1"
call :explorer
reg query "%KEY%" /reg:%VIEW% >nul 2>&1
if errorlevel 1 goto absent
call :admin
if errorlevel 1 goto notadmin
rem reg.exe's own message, if it fails, stays on the screen.
reg delete "%KEY%" /f /reg:%VIEW% >nul
if errorlevel 1 goto failed
echo unregister-demo: VirtualBoard removed from the %VIEW%-bit registry view.
set "CODE=0"
goto end

:absent
echo unregister-demo: VirtualBoard is not registered in the %VIEW%-bit registry view.
set "CODE=0"
goto end

:notadmin
echo unregister-demo: writing under HKLM needs an administrator: right-click
echo unregister-demo: unregister-demo.cmd and choose "Run as administrator".
goto end

:failed
echo unregister-demo: reg.exe could not remove %KEY%
echo unregister-demo: from the %VIEW%-bit view (its message is above).
goto end

:end
if not "%CODE%"=="0" set "FROM_EXPLORER=1"
if defined FROM_EXPLORER (
    echo unregister-demo: press a key to close this window.
    pause >nul
)
exit /b %CODE%

rem "net session" answers only an administrator; where the Server service is
rem stopped it fails for everyone, and fltmc answers instead. (Exit codes are
rem tested with "if errorlevel": some cmd implementations run "&&" and "||"
rem whatever the code.)
:admin
net session >nul 2>&1
if not errorlevel 1 exit /b 0
fltmc >nul 2>&1
if not errorlevel 1 exit /b 0
exit /b 1

rem Started from Explorer (a double click, "Run as administrator"), cmd runs the
rem script as "cmd /c ..." and closes its window as soon as it ends: then the
rem script waits for a key, so that its last lines can be read.
:explorer
setlocal EnableDelayedExpansion
set "LINE=!cmdcmdline!"
if not defined LINE (endlocal & exit /b 0)
set "REST=!LINE:*/c =!"
if "!REST!"=="!LINE!" (endlocal & set "FROM_EXPLORER=") else (endlocal & set "FROM_EXPLORER=1")
exit /b 0
