#!/bin/sh
# Zelvar build script template (Linux).
#
# Before every Debug build Zelvar copies this file to compil.sh in the program
# folder and puts the source's full path without extension in place of every
# Filename written in double quotes, as one single-quoted shell word, so the
# lines below read for example
#     "$m51as" '/home/me/my prog'.asm
# Write that placeholder bare, as below, never inside other quotes, and keep
# it out of comments. compil.sh runs in the source's folder with no arguments;
# Zelvar shows <name>.lst in the listing window when the script has ended.
#
# Assembler: m51as, which comes with Zelvar. It writes the listing <name>.lst
# and, when there are no errors, the Intel HEX image <name>.hex and the binary
# image <name>.bin beside the source; its exit code tells whether there were
# errors, and each error is printed as <file>:<line>: <message>. It is taken
# from the program folder (beside Zelvar) or else from PATH.
# compile-mcu8051ide.sh is the earlier chain (mcu8051ide and srec_cat): copy
# it over this file to build with it.
here=$(dirname "$0")
if [ -x "$here/m51as" ]; then
  m51as=$here/m51as
elif command -v m51as >/dev/null 2>&1; then
  m51as=m51as
else
  echo "compil.sh: m51as was found neither beside Zelvar nor on PATH" >&2
  exit 2
fi
"$m51as" --shortest-jumps "Filename".asm || exit 1
