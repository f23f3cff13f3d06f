@echo off
rem Removes what register-demo.cmd of this zip (@arch@) added: the VirtualBoard
rem entry of the @demo_view@-bit registry view, and of the keys above it (1.0,
rem Drivers, Brackwell) the ones its value createdAbove says the first
rem registration created, each only while it holds nothing else: a real
rem board's driver registered meanwhile keeps its keys. The other view belongs
rem to the other zip's demo and is left as it is. No entry to remove is not an
rem error.
setlocal
set "KEY=HKLM\SOFTWARE\Brackwell\Drivers\1.0\VirtualBoard"
set "VIEW=@demo_view@"
set "CODE=1"
call :explorer
reg query "%KEY%" /reg:%VIEW% >nul 2>&1
if errorlevel 1 goto absent
call :admin
if errorlevel 1 goto notadmin
set "ABOVE=0"
for /f "tokens=1,2,*" %%A in ('reg query "%KEY%" /v createdAbove /reg:%VIEW% 2^>nul') do if /i "%%A"=="createdAbove" set "ABOVE=%%C"
if not "%ABOVE%"=="1" if not "%ABOVE%"=="2" if not "%ABOVE%"=="3" set "ABOVE=0"
rem reg.exe's own message, if it fails, stays on the screen.
reg delete "%KEY%" /f /reg:%VIEW% >nul
if errorlevel 1 goto failed
if %ABOVE% LSS 1 goto removed
call :prune "HKLM\SOFTWARE\Brackwell\Drivers\1.0" "HKEY_LOCAL_MACHINE\SOFTWARE\Brackwell\Drivers\1.0"
if errorlevel 1 goto removed
if %ABOVE% LSS 2 goto removed
call :prune "HKLM\SOFTWARE\Brackwell\Drivers" "HKEY_LOCAL_MACHINE\SOFTWARE\Brackwell\Drivers"
if errorlevel 1 goto removed
if %ABOVE% LSS 3 goto removed
call :prune "HKLM\SOFTWARE\Brackwell" "HKEY_LOCAL_MACHINE\SOFTWARE\Brackwell"
:removed
echo unregister-demo: VirtualBoard removed from the %VIEW%-bit registry view.
call :ru
echo unregister-demo: VirtualBoard удалена из %VIEW%-разрядного представления реестра.
call :en
set "CODE=0"
goto end

:absent
echo unregister-demo: VirtualBoard is not registered in the %VIEW%-bit registry view.
call :ru
echo unregister-demo: VirtualBoard не зарегистрирована в %VIEW%-разрядном
echo unregister-demo: представлении реестра.
call :en
set "CODE=0"
goto end

:notadmin
echo unregister-demo: writing under HKLM needs an administrator: right-click
echo unregister-demo: unregister-demo.cmd and choose "Run as administrator".
call :ru
echo unregister-demo: для записи в HKLM нужны права администратора: щёлкните
echo unregister-demo: unregister-demo.cmd правой кнопкой мыши и выберите
echo unregister-demo: "Запуск от имени администратора".
call :en
goto end

:failed
echo unregister-demo: reg.exe could not remove %KEY%
echo unregister-demo: from the %VIEW%-bit view (its message is above).
call :ru
echo unregister-demo: reg.exe не смогла удалить раздел из %VIEW%-разрядного
echo unregister-demo: представления реестра (её сообщение выше).
call :en
goto end

:end
if "%CODE%"=="0" exit /b 0
if not defined FROM_EXPLORER exit /b %CODE%
echo unregister-demo: press a key to close this window.
call :ru
echo unregister-demo: нажмите любую клавишу, чтобы закрыть окно.
call :en
pause >nul
exit /b %CODE%

rem Deletes the key %1 (named %2 in reg.exe's listing) if it holds no subkey
rem and no named value; exit code 1 when it stays. A line of the listing is
rem the key itself, a value (four spaces first; "(...)" is the key's unnamed
rem default) or a subkey.
:prune
setlocal EnableDelayedExpansion
set "HOLDS="
for /f "delims=" %%L in ('reg query "%~1" /reg:%VIEW% 2^>nul') do (
    set "ENTRY=%%L"
    if "!ENTRY:~0,4!"=="    " (
        if not "!ENTRY:~4,1!"=="(" set "HOLDS=1"
    ) else if /i not "!ENTRY!"=="%~2" set "HOLDS=1"
)
if defined HOLDS (endlocal & exit /b 1)
endlocal
reg delete "%~1" /f /reg:%VIEW% >nul 2>&1
if errorlevel 1 exit /b 1
exit /b 0

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
