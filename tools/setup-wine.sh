#!/usr/bin/env bash
# Prepares what Wine needs for the tests, inside the build tree: the locales
# whose code pages the tests run in (ja_JP.UTF-8 for 932, zh_TW.UTF-8 for
# 950, en_US.UTF-8 for 1252) and an initialised prefix. Does nothing when
# they exist.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
wine_dir="$root/build/wine"
# Wine runs 32-bit Windows programs through its 32-bit Unix loader, so the
# kernel must run i386 programs. Some virtual machines' kernels do not
# (execve of an i386 program fails with ENOEXEC); say so plainly instead of
# failing later inside Wine with "Exec format error".
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo "setup-wine: this machine cannot run 32-bit (i386) programs, so Wine cannot run" >&2
  echo "setup-wine: the Windows builds or their tests; they need a kernel with IA-32 emulation" >&2
  exit 1
fi
mkdir -p "$wine_dir/locale"
for locale in ja_JP zh_TW en_US; do
  if [ ! -f "$wine_dir/locale/$locale.UTF-8/LC_CTYPE" ]; then
    # localedef warns about the source locale's own quirks; the result is usable.
    localedef -i "$locale" -f UTF-8 "$wine_dir/locale/$locale.UTF-8" >/dev/null 2>&1 || true
    [ -f "$wine_dir/locale/$locale.UTF-8/LC_CTYPE" ] ||
      { echo "setup-wine: localedef failed for $locale" >&2; exit 1; }
  fi
done
if [ ! -f "$wine_dir/prefix/.initialised" ]; then
  echo "setup-wine: creating the Wine prefix (once)"
  rm -rf "$wine_dir/prefix"
  "$root/tools/wine-run.sh" wineboot -i >/dev/null 2>&1
  WINEPREFIX="$wine_dir/prefix" wineserver -w
  touch "$wine_dir/prefix/.initialised"
fi
