@echo off
rem Zelvar build script template (Windows).
rem
rem Before every Debug build Zelvar copies this file to compil.bat in the
rem program folder and puts the short (8.3) path of the source, without its
rem extension, in place of every Filename written in double quotes. Keep that
rem placeholder out of remarks. Zelvar shows <name>.lst in the listing window
rem when the batch file has ended.
rem
rem Assembler: m51as, which comes with Zelvar, from the program folder (beside
rem Zelvar) or else from PATH. It writes the listing <name>.lst and, when there
rem are no errors, the Intel HEX image <name>.hex and the binary image
rem <name>.bin. compile-mcu8051ide.bat is the earlier chain (mcu8051ide and
rem srec_cat): copy it over this file to build with it.
set M51AS=m51as
if exist "%~dp0m51as.exe" set M51AS="%~dp0m51as.exe"
%M51AS% --shortest-jumps "Filename".asm
if errorlevel 1 exit /b 1
