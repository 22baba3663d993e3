#!/usr/bin/env bash
# Prepares what Wine needs for the tests: inside the build tree, the locales
# whose code pages the tests run in (ja_JP.UTF-8 for 932, zh_TW.UTF-8 for
# 950, en_US.UTF-8 for 1252) and zh_CN.UTF-8, for trying 936 by hand; and
# where this kernel cannot run i386 programs, the virtual machine that Wine
# runs in. Does nothing when they exist. tools/wine-session.sh creates the
# Wine prefix, where Wine runs.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
wine_dir="$root/build/wine"
mkdir -p "$wine_dir/locale"
for locale in ja_JP zh_TW zh_CN en_US; do
  if [ ! -f "$wine_dir/locale/$locale.UTF-8/LC_CTYPE" ]; then
    # localedef warns about the source locale's own quirks; the result is usable.
    localedef -i "$locale" -f UTF-8 "$wine_dir/locale/$locale.UTF-8" >/dev/null 2>&1 || true
    [ -f "$wine_dir/locale/$locale.UTF-8/LC_CTYPE" ] ||
      { echo "setup-wine: localedef failed for $locale" >&2; exit 1; }
  fi
done
# Where this kernel cannot run i386 programs, Wine runs in a virtual
# machine; its image is built once.
"$root/tools/i386-vm.sh" image
