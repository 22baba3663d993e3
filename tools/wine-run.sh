#!/usr/bin/env bash
# Runs a Windows program under Wine the way the tests need it: a prefix of
# the build tree's own, ANSI code page 932, and no display, so that nothing
# can wait for a click. VELKOR_DISPLAY names an X display (a private Xvfb)
# for the tests of windows, which start their programs in a Wine desktop of
# their own (explorer /desktop=...): Wine's first desktop, which the other
# tests share, stays without a display.
#
# Wine takes its ANSI code page from the Unix locale, and maps file names
# through it, so LC_ALL=ja_JP.UTF-8 is set here, for Wine alone, from a
# locale that tools/setup-wine.sh generates privately into the build tree.
# VELKOR_LOCALE picks another of those: en_US.UTF-8 gives code page 1252,
# zh_TW.UTF-8 950, zh_CN.UTF-8 936. Wine takes the code page from the name
# alone, so a locale that was never generated still gives its code page, but
# file names with its characters then cannot be made: plug-ins find no file
# and give no title. Such a locale is refused here.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${VELKOR_WINEPREFIX:-$root/build/wine/prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
if [ -n "${VELKOR_DISPLAY:-}" ]; then
  export DISPLAY="$VELKOR_DISPLAY"
fi
locales="$root/build/wine/locale"
locale="${VELKOR_LOCALE:-ja_JP.UTF-8}"
if [ ! -f "$locales/$locale/LC_CTYPE" ]; then
  echo "wine-run: no locale $locale in build/wine/locale (tools/setup-wine.sh makes them)" >&2
  exit 1
fi
# Set through env so that this shell itself never tries the locale.
exec env LOCPATH="$locales" LC_ALL="$locale" wine "$@"
