@echo off
rem Starts the packaged QorvelGen.exe (one folder up) with this folder as its
rem working directory: it reads QorvelGen.cfg from here, which selects the
rem VirtualBoard driver, and leaves its QorvelGen.sav here.
setlocal
cd /d "%~dp0"
"%~dp0..\QorvelGen.exe"
set CODE=%ERRORLEVEL%
if not "%CODE%"=="0" (
    echo run-demo: QorvelGen ended with exit code %CODE%.
    echo run-demo: -2 means no panel could open: run register-demo.cmd first
    echo run-demo: and see README-en.txt, "Messages and what to do".
)
exit /b %CODE%
