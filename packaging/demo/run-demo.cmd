@echo off
rem Starts the packaged QorvelGen.exe (one folder up) with this folder as its
rem working directory: it reads QorvelGen.cfg from here, which selects the
rem VirtualBoard driver, and leaves its QorvelGen.sav here. Where this folder
rem cannot be entered (a network share that pushd cannot map, a path too long
rem for a current directory) the program is not started: from any other
rem folder it would read no demo configuration and open the real board.
setlocal
set "CODE=1"
call :explorer
rem The error level is 0 here (":explorer" ends with it), so a failed pushd
rem is the one thing that makes it 1. "&&" and "||" are not used: some cmd
rem implementations run them whatever the exit code.
if "%~dp0"=="" goto nofolder
pushd "%~dp0" 2>nul
if errorlevel 1 goto nofolder
rem Only in the demo's own folder: with any other QorvelGen.cfg the program
rem would open the real board.
if not exist "VirtualBoard.dll" goto notdemo
if not exist "QorvelGen.cfg" goto notdemo
if not exist "..\QorvelGen.exe" goto noprogram
"..\QorvelGen.exe"
set "CODE=%ERRORLEVEL%"
popd
if not "%CODE%"=="0" (
    echo run-demo: QorvelGen ended with exit code %CODE%.
    echo run-demo: -2 means no panel could open. Run register-demo.cmd first;
    echo run-demo: "..\qorvelcfg show" in this folder checks the driver, and
    echo run-demo: README-en.txt, "Nothing happens", says what to do.
)
goto end

:nofolder
echo run-demo: cannot make this script's folder the working directory:
echo run-demo: "%~dp0"
echo run-demo: the demo was not started. Copy the whole unpacked zip to a
echo run-demo: folder on a local disk, such as C:\QorvelGen, and run it there.
goto end

:notdemo
popd
echo run-demo: the demo's QorvelGen.cfg or VirtualBoard.dll is missing in "%~dp0":
echo run-demo: the demo was not started. Unpack the whole zip again.
goto end

:noprogram
popd
echo run-demo: no QorvelGen.exe beside the demo folder "%~dp0":
echo run-demo: the demo was not started. Unpack the whole zip again.
goto end

:end
if not "%CODE%"=="0" set "FROM_EXPLORER=1"
if defined FROM_EXPLORER (
    echo run-demo: press a key to close this window.
    pause >nul
)
exit /b %CODE%

rem Started from Explorer (a double click), cmd runs the script as
rem "cmd /c ..." and closes its window as soon as it ends: then the script
rem waits for a key, so that its last lines can be read.
:explorer
setlocal EnableDelayedExpansion
set "LINE=!cmdcmdline!"
if not defined LINE (endlocal & exit /b 0)
set "REST=!LINE:*/c =!"
if "!REST!"=="!LINE!" (endlocal & set "FROM_EXPLORER=") else (endlocal & set "FROM_EXPLORER=1")
exit /b 0
