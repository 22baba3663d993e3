#!/usr/bin/env bash
# Compiler and linker launcher: runs the command with the win32-thread-model
# MinGW compiler in place of the -posix one that the toolchain names. The
# posix runtime brings in winpthread, which imports GetTickCount64 and so
# needs Windows Vista; the shipped program must also run on Windows XP.
# usage: win32-threads.sh COMPILER ARGS...
set -euo pipefail
compiler="$1"
shift
exec "${compiler%-posix}-win32" "$@"
