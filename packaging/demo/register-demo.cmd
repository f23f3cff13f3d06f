@echo off
rem Registers the demo's board driver, VirtualBoard.dll beside this script,
rem under the device name VirtualBoard in the @demo_view@-bit view of the registry
rem only: the view that QorvelGen.exe of this zip (@arch@) reads. The DLL is
rem @demo_view@-bit like that program; the other zip's demo registers its own DLL in
rem the other view, so both demos can be registered at once. The driver of a
rem real board (QorvelE) is left as it is. The value createdAbove records how
rem many of the keys above VirtualBoard (1.0, Drivers, Brackwell) this first
rem registration created, so that unregister-demo.cmd removes those and no
rem other; registering again leaves it as it is.
setlocal
set "KEY=HKLM\SOFTWARE\Brackwell\Drivers\1.0\VirtualBoard"
set "VIEW=@demo_view@"
set "DLL=%~dp0VirtualBoard.dll"
set "CODE=1"
call :explorer
if not exist "%DLL%" goto missing
rem The program reads at most 255 characters of the value path.
call :length
if %DLL_LENGTH% GTR 255 goto toolong
call :admin
if errorlevel 1 goto notadmin
set "ABOVE=keep"
reg query "%KEY%" /reg:%VIEW% >nul 2>&1
if not errorlevel 1 goto add
set "ABOVE=0"
reg query "HKLM\SOFTWARE\Brackwell\Drivers\1.0" /reg:%VIEW% >nul 2>&1
if errorlevel 1 set "ABOVE=1"
reg query "HKLM\SOFTWARE\Brackwell\Drivers" /reg:%VIEW% >nul 2>&1
if errorlevel 1 set "ABOVE=2"
reg query "HKLM\SOFTWARE\Brackwell" /reg:%VIEW% >nul 2>&1
if errorlevel 1 set "ABOVE=3"
:add
rem reg.exe's own message, if it fails, stays on the screen.
reg add "%KEY%" /v path /t REG_SZ /d "%DLL%" /f /reg:%VIEW% >nul
if errorlevel 1 goto failed
if "%ABOVE%"=="keep" goto registered
reg add "%KEY%" /v createdAbove /t REG_SZ /d %ABOVE% /f /reg:%VIEW% >nul
if errorlevel 1 goto failed
:registered
echo register-demo: VirtualBoard registered in the %VIEW%-bit registry view:
echo register-demo: "%DLL%"
echo register-demo: now start run-demo.cmd
call :ru
echo register-demo: VirtualBoard зарегистрирована в %VIEW%-разрядном представлении
echo register-demo: реестра. Теперь запустите run-demo.cmd.
call :en
set "CODE=0"
goto end

:missing
echo register-demo: "%DLL%" is missing: unpack the whole zip first.
call :ru
echo register-demo: файла "%DLL%" нет: сначала распакуйте весь архив.
call :en
goto end

:toolong
echo register-demo: the path of VirtualBoard.dll is %DLL_LENGTH% characters long;
echo register-demo: the program reads at most 255. Nothing was registered: move
echo register-demo: the unpacked zip nearer the drive's root, such as C:\QorvelGen.
call :ru
echo register-demo: путь к VirtualBoard.dll длиной %DLL_LENGTH% символов, а программа
echo register-demo: читает не больше 255. Ничего не зарегистрировано: перенесите
echo register-demo: распакованный архив ближе к корню диска, например в C:\QorvelGen.
call :en
goto end

:notadmin
echo register-demo: writing under HKLM needs an administrator: right-click
echo register-demo: register-demo.cmd and choose "Run as administrator".
call :ru
echo register-demo: для записи в HKLM нужны права администратора: щёлкните
echo register-demo: register-demo.cmd правой кнопкой мыши и выберите
echo register-demo: "Запуск от имени администратора".
call :en
goto end

:failed
echo register-demo: reg.exe could not write %KEY%
echo register-demo: in the %VIEW%-bit view (its message is above).
call :ru
echo register-demo: reg.exe не смогла записать раздел в %VIEW%-разрядное
echo register-demo: представление реестра (её сообщение выше).
call :en
goto end

:end
if "%CODE%"=="0" exit /b 0
if not defined FROM_EXPLORER exit /b %CODE%
echo register-demo: press a key to close this window.
call :ru
echo register-demo: нажмите любую клавишу, чтобы закрыть окно.
call :en
pause >nul
exit /b %CODE%

rem The number of characters of DLL, into DLL_LENGTH: one character taken off
rem at a time (a substring of a delayed "!...!" variable is not read by every
rem cmd; a quoted "%...%" one is, whatever the path holds). Some cmd
rem implementations give a one-character string back whole for its tail, so
rem a tail that equals the string ends the count too.
:length
set "S=%DLL%"
set "DLL_LENGTH=0"
:length_next
if not defined S exit /b 0
set /a DLL_LENGTH+=1
set "TAIL=%S:~1%"
if "%TAIL%"=="%S%" exit /b 0
set "S=%TAIL%"
goto length_next

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
