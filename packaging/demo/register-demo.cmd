@echo off
rem Registers the demo's board driver, VirtualBoard.dll beside this script,
rem under the device name VirtualBoard in the @demo_view@-bit view of the registry
rem only: the view that QorvelGen.exe of this zip (@arch@) reads. The DLL is
rem @demo_view@-bit like that program; the other zip's demo registers its own DLL in
rem the other view, so both demos can be registered at once. The driver of a
rem real board (QorvelE) is left as it is.
setlocal
set "KEY=HKLM\SOFTWARE\Brackwell\Drivers\1.0\VirtualBoard"
set "VIEW=@demo_view@"
set "DLL=%~dp0VirtualBoard.dll"
set "CODE=1"
call :explorer
if not exist "%DLL%" goto missing
call :admin
if errorlevel 1 goto notadmin
rem reg.exe's own message, if it fails, stays on the screen.
reg add "%KEY%" /v path /t REG_SZ /d "%DLL%" /f /reg:%VIEW% >nul
if errorlevel 1 goto failed
echo register-demo: VirtualBoard registered in the %VIEW%-bit registry view:
echo register-demo: "%DLL%"
echo register-demo: now start run-demo.cmd
set "CODE=0"
goto end

:missing
echo register-demo: "%DLL%" is missing: unpack the whole zip first.
goto end

:notadmin
echo register-demo: writing under HKLM needs an administrator: right-click
echo register-demo: register-demo.cmd and choose "Run as administrator".
goto end

:failed
echo register-demo: reg.exe could not write %KEY%
echo register-demo: in the %VIEW%-bit view (its message is above).
goto end

:end
if not "%CODE%"=="0" set "FROM_EXPLORER=1"
if defined FROM_EXPLORER (
    echo register-demo: press a key to close this window.
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
