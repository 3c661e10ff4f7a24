#!/bin/sh
# Zelvar build script template (Linux): the MCU 8051 IDE assembler and srec_cat.
#
# The shipped compile.sh uses m51as, the assembler that comes with Zelvar. To
# build with mcu8051ide instead, copy this file over compile.sh in the program
# folder (both tools must be installed: packages mcu8051ide and srecord).
#
# Before every Debug build Zelvar copies this file to compil.sh in the program
# folder and puts the source's full path without extension in place of every
# Filename written in double quotes, as one single-quoted shell word, so the
# lines below read for example
#     mcu8051ide ... --compile '/home/me/my prog'.asm
# Write that placeholder bare, as below, never inside other quotes, and keep
# it out of comments. compil.sh runs in the source's folder with no arguments;
# Zelvar shows <name>.lst in the listing window when the script has ended.

# Assembler: writes the listing <name>.lst and the Intel HEX image <name>.hex
# beside the source; its exit code tells whether there were errors.
mcu8051ide --nocolor --quiet --no-sim --no-bin --compile "Filename".asm || exit 1

# Binary image of the HEX file (the assembler's own binary output is not used).
srec_cat "Filename".hex -Intel -o "Filename".bin -Binary || exit 1
