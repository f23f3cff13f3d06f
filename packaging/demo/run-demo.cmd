@echo off
rem Starts the packaged QorvelGen.exe (one folder up) with this folder as its
rem working directory: it reads QorvelGen.cfg from here, which selects the
rem VirtualBoard driver, and leaves its QorvelGen.sav here. Where this folder
rem cannot be entered (a network share that pushd cannot map, a path too long
rem for a current directory), or where the QorvelGen.cfg here selects any other
rem board (the main one copied here, an edited DeviceName), the program is not
rem started: it would open the real board.
setlocal
set "CODE=1"
call :explorer
rem The error level is 0 here (":explorer" ends with it), so a failed pushd
rem is the one thing that makes it 1. "&&" and "||" are not used: some cmd
rem implementations run them whatever the exit code.
if "%~dp0"=="" goto nofolder
pushd "%~dp0" 2>nul
if errorlevel 1 goto nofolder
if not exist "VirtualBoard.dll" goto notdemo
if not exist "QorvelGen.cfg" goto notdemo
if not exist "..\QorvelGen.exe" goto noprogram
if not exist "..\qorvelcfg.exe" goto noprogram
rem The configuration read by the program's own rules (qorvelcfg), not
rem searched for a word: comments, quotes and capitals count as the program
rem counts them. Registry names are the same in any capitals.
set "DEMO_BOARD="
for /f "delims=" %%L in ('..\qorvelcfg.exe show .') do if /i "%%L"=="registry key: HKEY_LOCAL_MACHINE\SOFTWARE\Brackwell\Drivers\1.0\VirtualBoard" set "DEMO_BOARD=1"
if not defined DEMO_BOARD goto otherboard
"..\QorvelGen.exe"
set "CODE=%ERRORLEVEL%"
popd
if "%CODE%"=="0" goto end
echo run-demo: QorvelGen ended with exit code %CODE%.
echo run-demo: -2 means no panel could open. Run register-demo.cmd first;
echo run-demo: "..\qorvelcfg show" in this folder checks the driver, and
echo run-demo: README-en.txt, "Nothing happens", says what to do.
call :ru
echo run-demo: QorvelGen завершилась с кодом %CODE%. Код -2 значит, что панель
echo run-demo: не открылась. Сначала запустите register-demo.cmd; драйвер
echo run-demo: проверяет команда "..\qorvelcfg show" в этой папке, а что делать,
echo run-demo: сказано в README-ru.txt, раздел "Ничего не происходит".
call :en
goto end

:nofolder
echo run-demo: cannot make this script's folder the working directory:
echo run-demo: "%~dp0"
echo run-demo: the demo was not started. Copy the whole unpacked zip to a
echo run-demo: folder on a local disk, such as C:\QorvelGen, and run it there.
call :ru
echo run-demo: папку этого командного файла не удалось сделать рабочей,
echo run-demo: демонстрация не запущена. Скопируйте весь распакованный архив
echo run-demo: в папку на локальном диске, например C:\QorvelGen, и запустите там.
call :en
goto end

:notdemo
popd
echo run-demo: the demo's QorvelGen.cfg or VirtualBoard.dll is missing in "%~dp0":
echo run-demo: the demo was not started. Unpack the whole zip again.
call :ru
echo run-demo: в папке демонстрации нет QorvelGen.cfg или VirtualBoard.dll,
echo run-demo: демонстрация не запущена. Распакуйте весь архив заново.
call :en
goto end

:noprogram
popd
echo run-demo: no QorvelGen.exe or qorvelcfg.exe beside the demo folder "%~dp0":
echo run-demo: the demo was not started. Unpack the whole zip again.
call :ru
echo run-demo: рядом с папкой демонстрации нет QorvelGen.exe или qorvelcfg.exe,
echo run-demo: демонстрация не запущена. Распакуйте весь архив заново.
call :en
goto end

:otherboard
popd
echo run-demo: the QorvelGen.cfg in "%~dp0" does not select the virtual board
echo run-demo: (DeviceName = "VirtualBoard"): the program would open a real board.
echo run-demo: The demo was not started. Unpack the demo's QorvelGen.cfg again.
call :ru
echo run-demo: QorvelGen.cfg в папке демонстрации выбирает не виртуальную плату
echo run-demo: (нужно DeviceName = "VirtualBoard"): программа открыла бы настоящую
echo run-demo: плату. Демонстрация не запущена. Распакуйте QorvelGen.cfg из demo\
echo run-demo: заново.
call :en
goto end

:end
if "%CODE%"=="0" exit /b 0
if not defined FROM_EXPLORER exit /b %CODE%
echo run-demo: press a key to close this window.
call :ru
echo run-demo: нажмите любую клавишу, чтобы закрыть окно.
call :en
pause >nul
exit /b %CODE%

rem Started from Explorer (a double click, "Run as administrator"), cmd runs a
rem script as  cmd.exe /c ""C:\...\script.cmd" "  and closes its window as
rem soon as it ends: then a failed script waits for a key, so that its last
rem lines can be read. Started in any other way (a command prompt, "cmd /c"
rem from another script or program, PowerShell, the Task Scheduler) it never
rem waits: that form ends in quote, space, quote only when Explorer starts it.
:explorer
set "FROM_EXPLORER="
setlocal EnableDelayedExpansion
set "LINE=!cmdcmdline!"
if not defined LINE (endlocal & exit /b 0)
set "TAIL=!LINE:~-3!"
set "TAIL=!TAIL:" "=!"
if defined TAIL (endlocal & exit /b 0)
endlocal & set "FROM_EXPLORER=1"
exit /b 0

rem The Russian lines of this file are in code page 866, and cmd reads each
rem line in the console's code page when it runs it: :ru switches the console
rem to 866 before them (every Windows has it, so they read right on a Western
rem console too), :en switches it back. Neither stands inside a parenthesised
rem block, which cmd would read before the switch.
:ru
set "OLDCP="
for /f "tokens=2 delims=:." %%C in ('chcp') do set "OLDCP=%%C"
chcp 866 >nul 2>&1
exit /b 0

:en
if defined OLDCP chcp %OLDCP% >nul 2>&1
exit /b 0
