#!/usr/bin/env bash
# Prints the build preset whose programs this machine's Wine can run:
#   win32  the product build (INSTALL.EXE as shipped, 32-bit), where the
#          kernel runs 32-bit code;
#   win64  the same sources built for 64-bit Windows, where it does not: some
#          virtual machines' kernels have IA-32 emulation switched off, and
#          32-bit Wine cannot start there at all (its loader is a 32-bit ELF
#          program, refused with "Exec format error").
set -uo pipefail
if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo win32
else
  echo win64
fi
