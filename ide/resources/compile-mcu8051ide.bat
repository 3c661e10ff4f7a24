@echo off
rem Zelvar build script template (Windows): the MCU 8051 IDE assembler and
rem srec_cat. The shipped compile.bat uses m51as, the assembler that comes with
rem Zelvar; to build with mcu8051ide instead, copy this file over compile.bat
rem in the program folder.
rem
rem Before every Debug build Zelvar copies this file to compil.bat in the
rem program folder and puts the short (8.3) path of the source, without its
rem extension, in place of every Filename written in double quotes. Keep that
rem placeholder out of remarks. Zelvar shows <name>.lst in the listing window
rem when the batch file has ended.

rem Assembler: listing <name>.lst and Intel HEX image <name>.hex.
mcu8051ide --nocolor --quiet --no-sim --no-bin --compile "Filename".asm
if errorlevel 1 exit /b 1

rem Binary image of the HEX file.
srec_cat "Filename".hex -Intel -o "Filename".bin -Binary
if errorlevel 1 exit /b 1
