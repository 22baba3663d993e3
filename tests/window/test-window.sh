#!/usr/bin/env bash
# Checks the window as a user meets it, under Wine with a private Xvfb: the
# program laid out as the package lays it out, a player's Plugins folder of
# stand-in plug-ins (one that needs Velkor, one that titles correctly, one
# fronted already, one that waits on a box in Init, one that cannot work
# behind Velkor) and a real one, WavPack's. window_e2e.exe opens the window
# on the folder, reads the rows, installs, checks and uninstalls the
# byte-wise plug-in: in English from the keyboard, where it also tries the
# install that fails, then scans again with F5, cancels a scan with Esc and
# closes with Esc; in Japanese with clicks, closing the window in the middle
# of a scan. No child may be left running, and the folder must end byte for
# byte as it was. Screenshots land in BUILD_DIR/window-shots/ as PNG files.
# usage: test-window.sh BUILD_DIR STAND_IN_DIR RUNTIME
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
. "$root/tests/support/results.sh"
build="$1"
stand_ins="$2"
runtime="$3"

if [ -z "${VELKOR_DISPLAY:-}" ]; then
  exec "$root/tools/with-xvfb.sh" "$0" "$@"
fi

work="$build/window-test"
shots="$build/window-shots"
rm -rf "$work" "$shots"
player="$work/player 表示"
plugins="$player/Plugins"
mkdir -p "$work/package/$runtime" "$plugins" "$shots"
cp "$build/VelkorSetup.exe" "$build/velkor.exe" "$work/package/"
cp "$build/velkor.dll" "$work/package/$runtime/velkor.dll"
for variant in bytewise whole box ownname; do
  cp "$stand_ins/in_$variant.dll" "$plugins/"
done
cp "$build/velkor.dll" "$plugins/in_fronted.dll"
cp "$root/tests/real-plugins/in_wv.dll" "$plugins/"
cp "$stand_ins/in_bytewise.dll" "$plugins/in_fronted.vlk"

win() { # the Windows name of a Unix path: Wine's drive Z: is the Unix root
  printf 'Z:%s' "${1//\//\\}"
}
snapshot() { (cd "$plugins" && sha256sum -- * | sort); }
before="$(snapshot)"

names=()
failures=()
check() { # check NAME REPORT PATTERN...: each extended regular expression
  # matches a line of the report (or, after !, none does)
  local name="$1" report="$2" problem=""
  shift 2
  for p in "$@"; do
    if [ "${p:0:1}" = "!" ]; then
      ! grep -qE -- "${p:1}" "$report" || problem+="; has /${p:1}/"
    else
      grep -qE -- "$p" "$report" || problem+="; lacks /$p/"
    fi
  done
  names+=("$name")
  if [ -n "$problem" ]; then
    failures+=("$name")
    echo "FAIL: $name: ${problem#; }"
  else
    echo "ok:   $name"
  fi
}

drive() { # drive LANG FOLDER: the window's run in that language, opened on
  # FOLDER from the work folder, into report-LANG.txt
  local lang="$1" folder="$2"
  local report="$work/report-$lang.txt"
  (cd "$work" && "$root/tools/wine-desktop-run.sh" "velkor-window-$lang" "$report" 1700 \
    "$(win "$build/window_e2e.exe")" "$(win "$work/package/VelkorSetup.exe")" \
    "$folder" "$(win "$report")" "$(win "$shots/window-$lang")" "$lang" in_bytewise.dll)
  touch "$report"
}

drive en "$(win "$plugins")"
r="$work/report-en.txt"
check "the window opens with its version" "$r" '^title: Velkor [0-9]+\.[0-9]+\.[0-9]+: '
check "the scan gives each plug-in its row" "$r" \
  '^row: in_bytewise\.dll \| Velkor stand-in \| needs Velkor \| ソゾ\.mp3 -> ゾ$' \
  '^row: in_whole\.dll \| Velkor stand-in \| titles correctly \| ' \
  '^row: in_fronted\.dll \| Velkor stand-in \| fronted by Velkor \| fronts in_fronted\.vlk' \
  '^row: in_wv\.dll \| [^|]*WavPack[^|]* \| needs Velkor \| ソゾ\.[wW][vV] -> ゾ\.[wW][vV]$'
check "a plug-in that waits on a box is named with the box's title" "$r" \
  '^row: in_box\.dll \| .*"Velkor stand-in box"'
check "no button applies before a row is chosen" "$r" \
  '^buttons: install=0 uninstall=0 check=0 update=0$'
check "install and check apply to a plug-in that needs Velkor" "$r" \
  '^selected: install=1 uninstall=0 check=1 update=0$'
check "after install the row is scanned again" "$r" \
  '^status: in_bytewise\.dll: done\.$' \
  'row: in_bytewise\.dll \| Velkor stand-in \| fronted by Velkor \| fronts in_bytewise\.vlk'
check "check titles shows the titles alone and behind Velkor" "$r" \
  '^check: ソゾ\.mp3 +ゾ +ソゾ +<- repaired$'
check "after uninstall the plug-in needs Velkor again" "$r" \
  '^after uninstall$' '^row: in_bytewise\.dll \| Velkor stand-in \| needs Velkor \|'
check "a plug-in in use: the box says to close the player, and Retry installs" "$r" \
  '^in use: Velkor \| .*in_bytewise\.dll.*close the player.*click Retry\. retry=1$' \
  '^after retry: in_bytewise\.dll: done\.$'
check "a failed install shows the message, and the folder is put back" "$r" \
  '^box: Velkor \| .*in_ownname\.dll.*put back as it was' '^status: in_ownname\.dll: failed\.$' \
  '^row: in_ownname\.dll \| Velkor stand-in \| needs Velkor \|'
check "F5 scans again" "$r" '^rescan: 6 plug-ins in '
check "Esc cancels a scan, then closes the window" "$r" '^escape: Scan cancelled\.$' \
  '^left running: 0$' '^exit: 0$'
check "no fault, and no other box" "$r" '^done$' '!^FAIL' '!^box: .*in_bytewise'

# A shortcut or a console names the folder relative to where it starts the
# window; the window's children start elsewhere.
drive ja 'player 表示\Plugins'
r="$work/report-ja.txt"
check "Japanese: the window and its rows" "$r" '^title: Velkor .*日本語' \
  '^row: in_bytewise\.dll \| Velkor stand-in \| Velkor が必要 \|' \
  '^row: in_box\.dll \| .*ウィンドウ「Velkor stand-in box」' \
  '^row: in_wv\.dll \| [^|]*WavPack[^|]* \| Velkor が必要 \|'
check "Japanese: install, check, uninstall" "$r" \
  '^row: in_bytewise\.dll \| Velkor stand-in \| Velkor 導入済み \|' \
  '^check: ソゾ\.mp3 +ゾ +ソゾ +<- 修復$' '^after uninstall$'
check "Japanese: closed during an install, it goes at once and the install ends" "$r" \
  '^closed during install: working=1 hidden=1$' \
  '^reopened row: in_bytewise\.dll \| Velkor stand-in \| Velkor 導入済み \|'
check "Japanese: closed in the middle of a scan, it ends its children" "$r" \
  '^closing in the middle of a scan$' '^left running: 0$' '^exit: 0$'
check "Japanese: no fault and no box" "$r" '^done$' '!^FAIL' '!^box:'

after="$(snapshot)"
names+=("the folder byte for byte as it was")
[ "$before" = "$after" ] || { failures+=("${names[-1]}"); diff <(echo "$before") <(echo "$after"); }

for bmp in "$shots"/*.bmp; do
  [ -e "$bmp" ] && python3 "$root/tools/bmp2png.py" "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
ls "$shots"

if [ "${#failures[@]}" -ne 0 ]; then
  for lang in en ja; do
    echo "== report-$lang.txt"
    cat "$work/report-$lang.txt"
  done
fi

write_results velkor_window "$build" checks
