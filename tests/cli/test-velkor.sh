#!/usr/bin/env bash
# Checks velkor.exe under Wine as a user meets it: the program laid out as
# the package lays it out, a player's folder whose Plugins folder holds one
# stand-in plug-in per verdict, a player that the program finds through the
# registry, and the real plug-ins of tests/real-plugins. Each row runs the
# program once and checks its exit code and output; the rows are written as
# a test report that the summary of `make test` counts.
# usage: test-velkor.sh BUILD_DIR STAND_IN_DIR RUNTIME
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
. "$root/tests/support/results.sh"
build="$1"
stand_ins="$2"
runtime="$3"
other_runtime=$([ "$runtime" = msvcrt ] && echo msvcr70 || echo msvcrt)
version="$(cat "$root/VERSION")"

work="$build/cli-test"
rm -rf "$work"
# A folder name with a space and with 表 (95 5C), as users' folders have.
player="$work/player 表示"
plugins="$player/Plugins"
mkdir -p "$work/package/$runtime" "$plugins" "$work/more"
cp "$build/velkor.exe" "$work/package/"
cp "$build/velkor.dll" "$work/package/$runtime/velkor.dll"
for variant in bytewise whole notitle wide v101 crash hang noexport ownname dependency asks heap; do
  cp "$stand_ins/in_$variant.dll" "$plugins/"
done
cp "$stand_ins/standin_dependency.dll" "$player/"
echo "not a program" > "$plugins/in_text.dll"
cp "$build/velkor.dll" "$plugins/in_fronted.dll"
cp "$stand_ins/in_bytewise.dll" "$plugins/in_fronted.vlk"
cp "$build/velkor.dll" "$plugins/in_orphan.dll"
cp "$build/velkor.dll" "$plugins/in_broken.dll"
echo "not a program" > "$plugins/in_broken.vlk"
cp "$stand_ins/in_bytewise.dll" "$plugins/out_ignored.dll"
cp "$stand_ins/in_many.dll" "$work/more/"

win() { # the Windows name of a Unix path: Wine's drive Z: is the Unix root
  printf 'Z:%s' "${1//\//\\}"
}
P="$(win "$plugins")"
install_runtime=(--runtime="$runtime")
snapshot() { (cd "$plugins" && sha256sum -- * | sort); }

# The player's registry entries, which scan without a folder reads. The
# prefix is the build tree's own; a run that was stopped may have left them.
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Winamp'
user_key='HKCU\Software\Winamp'
wine_reg() { "$root/tools/wine-run.sh" reg "$@" </dev/null >/dev/null 2>&1; }
forget_player() { wine_reg delete "$uninstall_key" /f; wine_reg delete "$user_key" /f; }
forget_player

names=()
failures=()
input=/dev/null
wine=("$root/tools/wine-run.sh")
program="$work/package/velkor.exe"
# row NAME CODE PATTERN... -- ARGS...: the program exits with CODE, and its
# output matches each extended regular expression (or, after !, does not).
row() {
  local name="$1" code="$2"
  shift 2
  local patterns=()
  while [ "$1" != -- ]; do patterns+=("$1"); shift; done
  shift
  local out status problem=""
  out="$("${wine[@]}" "$program" "$@" <"$input" 2>&1)"
  status=$?
  [ "$status" -eq "$code" ] || problem="exit code $status, expected $code"
  for p in "${patterns[@]}"; do
    if [ "${p:0:1}" = "!" ]; then
      ! grep -qE -- "${p:1}" <<<"$out" || problem+="; has /${p:1}/"
    else
      grep -qE -- "$p" <<<"$out" || problem+="; lacks /$p/"
    fi
  done
  names+=("$name")
  if [ -n "$problem" ]; then
    failures+=("$name")
    echo "FAIL: $name: ${problem#; }"
    echo "$out" | sed 's/^/    /'
  else
    echo "ok:   $name"
  fi
}

# Languages and arguments.
row "usage in the user's language" 0 'フォルダー' -- --help
row "usage in English when asked" 0 'finds the input plug-ins' -- --lang=en --help
row "unknown command" 1 'neither a command nor' -- --lang=en frobnicate
row "scan without a folder and no player says how to name a folder" 2 \
  'Uninstall\\Winamp, UninstallString: not set$' 'HKCU\\Software\\Winamp: not set$' \
  'velkor scan "C:\\Program Files\\Winamp\\Plugins"' -- --lang=en scan
row "started with nothing and no player, it says so in the user's language" 2 \
  'Plugins フォルダーが見つかりませんでした' --
row "unknown runtime" 1 'msvcrt or msvcr70' -- --lang=en --runtime=msvcr71 install x.dll
row "--runtime apart from its value, before the command" 2 'in_none\.dll' '!neither a command' \
  -- --lang=en --runtime "$runtime" install 'C:\none\in_none.dll'
row "a path with spaces without quotes" 1 'A path with spaces needs quotes: velkor scan ".*Plugins"' \
  -- --lang=en scan "${P%% *}" "${P#* }"
row "a quote that cmd leaves at the end of a folder" 0 'in_many\.dll' \
  -- --lang=en scan "$(win "$work/more")\""
deep="$work/$(printf 'd%.0s' {1..60})/$(printf 'e%.0s' {1..60})/$(printf 'f%.0s' {1..60})/$(printf 'g%.0s' {1..60})"
mkdir -p "$deep"
row "a folder too long for the file calls" 2 'too long' -- --lang=en scan "$(win "$deep")"

# One plug-in per verdict, each loaded in a child process.
before="$(snapshot)"
row "scan gives every verdict" 0 \
  'in_bytewise\.dll +Velkor stand-in +needs Velkor +ソゾ\.mp3 -> ゾ$' \
  'in_whole\.dll +Velkor stand-in +titles correctly +ソゾ\.mp3 -> ソゾ$' \
  "in_fronted\\.dll +Velkor stand-in +fronted by Velkor +fronts in_fronted\\.vlk; Velkor $version, $runtime; ソゾ\\.mp3 -> ソゾ\$" \
  'in_orphan\.dll +Velkor copy that cannot work +in_orphan\.vlk is missing; velkor uninstall .*in_orphan\.dll" removes the copy' \
  'in_broken\.dll +Velkor copy that cannot work +.*Velkor says LoadLibrary: ' \
  'in_wide\.dll +Velkor stand-in +does not need Velkor +wide-character record, version 0x0F000100$' \
  'in_v101\.dll +Velkor stand-in +Velkor cannot front it +version 0x101$' \
  'in_notitle\.dll +Velkor stand-in +cannot tell +ソゾ\.mp3 -> \(no title\)$' \
  'in_noexport\.dll +not an input plug-in +no winampGetInModule2 export$' \
  'in_text\.dll +cannot be loaded +.*Plugins\\in_text\.dll' '!%1' \
  'in_crash\.dll +Velkor stand-in +crashed +in Init, exception 0xC0000005$' \
  'in_hang\.dll +Velkor stand-in +did not answer within 10 s +in GetFileInfo$' \
  'in_dependency\.dll +Velkor stand-in +needs Velkor' \
  'in_asks\.dll +Velkor stand-in +needs Velkor' 'in_heap\.dll +Velkor stand-in +needs Velkor' \
  'velkor install .*in_bytewise\.dll' '!out_ignored' \
  -- --lang=en scan "$P"
row "scan of a folder without plug-ins" 0 'There are no input plug-ins' \
  -- --lang=en scan "$(win "$work/package")"
start=$SECONDS
WINEDEBUG=fixme-all row "a crash is told at once, without a debugger" 2 \
  'in_crash\.dll: crashed' '!debugger|Unhandled|err:seh' -- --lang=en check "$P\\in_crash.dll"
# Without a display Wine tells, as err:winediag, that the child's hidden
# player window has no driver; the window works all the same. Under
# emulation the program and its child take several seconds each to start,
# 14 s in all on a busy machine: the bound is what a crash left to a
# debugger would take, not the plug-in's 10 s limit, which the message
# above already rules out ("crashed", not "did not answer").
names+=("the crash is told at once, without waiting for a debugger")
[ $((SECONDS - start)) -lt 60 ] || { failures+=("${names[-1]}"); echo "FAIL: the crash took $((SECONDS - start)) s"; }

# check, today's probe.
row "check: the titles alone and behind Velkor" 0 \
  'D:\\音楽\\表示\.mp3 +示 +表示 +<- repaired$' '^song\.mp3 +song +song$' \
  '1 of 2 titles differ with Velkor' \
  -- --lang=en check "$P\\in_bytewise.dll" 'D:\音楽\表示.mp3' song.mp3
row "check on a copy checks the plug-in that it fronts" 0 \
  'in_fronted\.dll is a copy of Velkor\. It fronts in_fronted\.vlk' '3 of 3 titles differ' \
  -- --lang=en check "$P\\in_fronted.dll"
row "check on a copy without its plug-in" 2 'in_orphan\.vlk, the plug-in that it fronts, is missing' \
  -- --lang=en check "$P\\in_orphan.dll"
row "check sums up a long extension list" 0 'Extensions: 12 extensions, the first: a01, a02, a03, a04, a05, \.\.\.' \
  -- --lang=en check "$(win "$work/more/in_many.dll")"
row "check on a file that is not there" 2 'in_none\.dll' -- --lang=en check "$P\\in_none.dll"

# install and uninstall: refusals change nothing, and a round trip keeps
# every byte.
row "install refuses a record it cannot front" 2 'Velkor cannot front it' 'Nothing was changed' \
  -- --lang=en install "${install_runtime[@]}" "$P\\in_v101.dll"
row "install refuses a crashing plug-in" 2 'crashed' 'Nothing was changed' \
  -- --lang=en install "${install_runtime[@]}" "$P\\in_crash.dll"
row "install refuses a copy of Velkor" 2 'already a copy of Velkor' \
  -- --lang=en install "${install_runtime[@]}" "$P\\in_fronted.dll"
row "install needs the runtime's velkor.dll" 2 "$other_runtime\\\\velkor\\.dll is missing" \
  -- --lang=en install --runtime="$other_runtime" "$P\\in_whole.dll"
echo taken > "$plugins/in_notitle.vlk"
row "install refuses when an older plug-in is left as the .vlk" 2 \
  'in_notitle\.vlk beside it is an older plug-in' 'Nothing was changed' \
  -- --lang=en install "${install_runtime[@]}" "$P\\in_notitle.dll"
rm "$plugins/in_notitle.vlk"
row "install puts the folder back when the check fails" 3 \
  'the title of ソゾ\.mp3 is \(no title\) behind Velkor, not ソゾ' 'put back as it was' \
  -- --lang=en install "${install_runtime[@]}" "$P\\in_ownname.dll"
row "uninstall refuses a plug-in" 2 'not a copy of Velkor' -- --lang=en uninstall "$P\\in_whole.dll"
row "uninstall removes a copy without its plug-in" 0 \
  'in_orphan\.dll was a copy of Velkor without its plug-in in_orphan\.vlk; it is deleted' \
  -- --lang=en uninstall "$P\\in_orphan.dll"
cp "$build/velkor.dll" "$plugins/in_orphan.dll"
row "install" 0 'Done: Velkor is in front of in_bytewise\.dll' 'ソゾ\.mp3: ゾ alone, ソゾ behind Velkor' \
  -- --lang=en install "${install_runtime[@]}" "$P\\in_bytewise.dll"
row "install of a plug-in whose record is on the heap" 0 'Done: Velkor is in front of in_heap\.dll' \
  -- --lang=en install "${install_runtime[@]}" "$P\\in_heap.dll"
row "uninstall of it" 0 'in_heap\.dll is the plug-in again' -- --lang=en uninstall "$P\\in_heap.dll"
row "check after install" 0 'in_bytewise\.dll is a copy of Velkor' -- --lang=en check "$P\\in_bytewise.dll"
row "uninstall" 0 'in_bytewise\.dll is the plug-in again' -- --lang=en uninstall "$P\\in_bytewise.dll"
after="$(snapshot)"
names+=("the folder byte for byte as it was")
[ "$before" = "$after" ] || { failures+=("${names[-1]}"); diff <(echo "$before") <(echo "$after"); }

# A change ended after each of its file steps, as a crash or a closed window
# would end it: scan names the state, and one command brings back a working
# plug-in, the user's plug-in byte for byte intact and no spare copy left.
kill_dir="$work/killed"
K="$(win "$kill_dir")"
works() { # in_k.dll alone, or a copy in front of in_k.vlk, and no spares
  if [ -e "$kill_dir/in_k.vlk" ]; then
    cmp -s "$kill_dir/in_k.vlk" "$stand_ins/in_bytewise.dll" && [ -e "$kill_dir/in_k.dll" ] &&
      ! cmp -s "$kill_dir/in_k.dll" "$stand_ins/in_bytewise.dll"
  else
    cmp -s "$kill_dir/in_k.dll" "$stand_ins/in_bytewise.dll"
  fi && [ -z "$(ls "$kill_dir" | grep velkor-)" ]
}
# change|step|what scan says|the command that recovers
kills=(
  "install|1|in_k\.velkor-new +spare copy of Velkor|install"
  "install|2|in_k\.vlk +change cut short|install"
  "install|2|in_k\.vlk +change cut short|uninstall"
  "install|3|in_k\.dll +.*fronted by Velkor|uninstall"
  "uninstall|1|in_k\.vlk +change cut short|uninstall"
  "uninstall|1|in_k\.vlk +change cut short|install"
  "uninstall|2|in_k\.velkor-old +spare copy of Velkor|uninstall"
  "update|1|in_k\.velkor-new +spare copy of Velkor|install"
  "update|2|in_k\.vlk +change cut short|install"
  "update|3|in_k\.velkor-old +spare copy of Velkor|install"
)
for kill in "${kills[@]}"; do
  IFS='|' read -r change step said recover <<<"$kill"
  rm -rf "$kill_dir" && mkdir -p "$kill_dir"
  case "$change" in
    install) cp "$stand_ins/in_bytewise.dll" "$kill_dir/in_k.dll"; args=(install "${install_runtime[@]}" "$K\\in_k.dll") ;;
    uninstall) cp "$build/velkor.dll" "$kill_dir/in_k.dll"; cp "$stand_ins/in_bytewise.dll" "$kill_dir/in_k.vlk"
      args=(uninstall "$K\\in_k.dll") ;;
    update) cp "$stand_ins/velkor-1.0.0.dll" "$kill_dir/in_k.dll"; cp "$stand_ins/in_bytewise.dll" "$kill_dir/in_k.vlk"
      args=(update "$K") ;;
  esac
  VELKOR_END_AFTER_STEP="$step" "${wine[@]}" "$work/package/velkor.exe" --lang=en "${args[@]}" \
    </dev/null >/dev/null 2>&1
  row "$change ended after step $step, then $recover: scan tells it" 0 "$said" -- --lang=en scan "$K"
  recover_args=("$recover")
  [ "$recover" = install ] && recover_args+=("${install_runtime[@]}")
  out="$("${wine[@]}" "$work/package/velkor.exe" --lang=en "${recover_args[@]}" "$K\\in_k.dll" </dev/null 2>&1)"
  names+=("$change ended after step $step: $recover brings back a working plug-in")
  works || { failures+=("${names[-1]}"); echo "FAIL: ${names[-1]}"; ls -l "$kill_dir"; echo "$out" | sed 's/^/    /'; }
done

# An older copy is brought up to date, and its plug-in is never touched.
rm -rf "$kill_dir" && mkdir -p "$kill_dir"
cp "$stand_ins/velkor-1.0.0.dll" "$kill_dir/in_k.dll"
cp "$stand_ins/in_bytewise.dll" "$kill_dir/in_k.vlk"
row "scan shows an older copy" 0 "in_k\\.dll .*fronted by Velkor .*Velkor 1\\.0\\.0, $runtime, older than $version" \
  -- --lang=en scan "$K"
row "update replaces the older copy" 0 "Done: in_k\\.dll is now a copy of Velkor $version" \
  -- --lang=en update "$K"
names+=("update: the copy is this release's, the plug-in untouched")
{ cmp -s "$kill_dir/in_k.dll" "$build/velkor.dll" && cmp -s "$kill_dir/in_k.vlk" "$stand_ins/in_bytewise.dll" &&
  [ -z "$(ls "$kill_dir" | grep velkor-)" ]; } || { failures+=("${names[-1]}"); ls -l "$kill_dir"; }
row "update finds nothing older" 0 "No copy of Velkor in .* is older than $version" \
  -- --lang=en update "$K"

# Paths that the code page cannot write. A plug-ins folder named with
# Korean letters: Velkor could not find its plug-in there, so install
# refuses at once, and nothing is renamed to a short name. A temporary
# folder and the program's own folder named with 𠮷, which code page 932
# lacks: both still work, through their short names.
odd="$work/Winamp 한/Plugins"
mkdir -p "$odd"
cp "$stand_ins/in_bytewise.dll" "$odd/"
row "install refuses a folder that the code page cannot write" 2 'cannot write' 'Nothing was changed|nothing was changed' \
  -- --lang=en install "${install_runtime[@]}" "$(win "$odd")\\in_bytewise.dll"
names+=("that folder keeps the plug-in's own name")
[ "$(ls "$odd")" = in_bytewise.dll ] || { failures+=("${names[-1]}"); ls "$odd"; }
mkdir -p "$work/𠮷田/temp" "$work/𠮷田/package/$runtime"
cp "$work/package/velkor.exe" "$work/𠮷田/package/"
cp "$work/package/$runtime/velkor.dll" "$work/𠮷田/package/$runtime/"
odd_scan="$("${wine[@]}" cmd /c "set TEMP=$(win "$work/𠮷田/temp")&& set TMP=$(win "$work/𠮷田/temp")&& $(win "$work/package/velkor.exe") --lang=en scan $(win "$kill_dir")" </dev/null 2>&1)"
names+=("a temporary folder that the code page cannot write")
grep -qE 'in_k\.dll +Velkor stand-in +fronted by Velkor' <<<"$odd_scan" ||
  { failures+=("${names[-1]}"); echo "FAIL: ${names[-1]}"; echo "$odd_scan" | sed 's/^/    /'; }
cp "$stand_ins/in_bytewise.dll" "$kill_dir/in_o.dll"
program="$work/𠮷田/package/velkor.exe"
row "the program unpacked under a folder that the code page cannot write" 0 \
  'Done: Velkor is in front of in_o\.dll' \
  -- --lang=en install "${install_runtime[@]}" "$K\\in_o.dll"
program="$work/package/velkor.exe"

# Files dropped onto the program.
printf 'y\n' >"$work/yes"
input="$work/yes"
row "a dropped plug-in that needs Velkor is installed on y" 0 'Put Velkor in front of it now\?' \
  'Done: Velkor is in front of in_bytewise\.dll' -- --lang=en "${install_runtime[@]}" "$P\\in_bytewise.dll"
row "a dropped copy of Velkor is checked, not installed again" 0 'is a copy of Velkor' '!Put Velkor' \
  -- --lang=en "$P\\in_bytewise.dll"
input=/dev/null
row "uninstall after the drop" 0 'the plug-in again' -- --lang=en uninstall "$P\\in_bytewise.dll"
row "a dropped folder is scanned" 0 'in_many\.dll +Velkor stand-in +needs Velkor' \
  -- --lang=en "$(win "$work/more")"

# A player found through the registry. The uninstall entry names its
# install folder, with 表 in the name; its paths.ini moves the settings to
# a folder that an environment variable names, where winamp.ini names a
# Plugins folder relative to the program's folder. The user's key names a
# second install, with the Plugins folder below it.
found="$work/found"
mkdir -p "$found/Winamp 表" "$found/settings/Winamp" "$found/My Plugins" "$found/Second/Plugins"
printf '[Winamp]\r\ninidir=%%VELKOR_TEST_SETTINGS%%\\Winamp\r\n' >"$found/Winamp 表/paths.ini"
printf '[Winamp]\r\nPluginDir=..\\My Plugins\r\n' >"$found/settings/Winamp/winamp.ini"
cp "$stand_ins/in_bytewise.dll" "$found/My Plugins/"
cp "$stand_ins/in_whole.dll" "$found/Second/Plugins/"
wine_reg add "$uninstall_key" /v UninstallString /d "\"$(win "$found/Winamp 表")\\UninstWA.exe\"" /f
wine_reg add "$user_key" /ve /d "$(win "$found/Second")" /f
wine=(env VELKOR_TEST_SETTINGS="$(win "$found/settings")" "$root/tools/wine-run.sh")
row "scan without a folder finds the player's Plugins folders and scans them" 0 \
  'UninstallString: "Z:.*\\Winamp 表\\UninstWA\.exe"$' \
  'paths\.ini, inidir: %VELKOR_TEST_SETTINGS%\\Winamp$' \
  'settings\\Winamp\\winamp\.ini, PluginDir: \.\.\\My Plugins$' \
  'Plugins folder: Z:.*\\found\\My Plugins$' \
  'HKCU\\Software\\Winamp: Z:.*\\found\\Second$' \
  'Plugins folder: Z:.*\\found\\Second\\Plugins$' \
  'in_bytewise\.dll +Velkor stand-in +needs Velkor' 'in_whole\.dll +Velkor stand-in +titles correctly' \
  -- --lang=en scan
row "started with nothing, it scans what it finds" 0 \
  'Input plug-ins in Z:.*\\found\\Second\\Plugins:' -- --lang=en
wine=("$root/tools/wine-run.sh")
forget_player

# Real plug-ins that title only the files that they can open: the media that
# the program carries tell those that cut names.
mkdir -p "$work/real"
cp "$root"/tests/real-plugins/in_*.dll "$work/real/"
row "real plug-ins: those that cut names need Velkor, the wide one does not" 0 \
  'in_vgmstream\.dll .* +needs Velkor +ソゾ\.l?wav -> ゾ$' \
  'in_wv\.dll .* +needs Velkor' \
  'in_adlib\.dll .* +needs Velkor +ソゾ\.raw -> ゾ\.raw$' \
  'in_vgmstream_unicode\.dll .* +does not need Velkor' \
  -- --lang=en scan "$(win "$work/real")"
# WavPack's plug-in words its file types otherwise behind Velkor: it finds
# its resources by its own file name.
row "install in front of the real WavPack plug-in" 0 \
  'Done: Velkor is in front of in_wv\.dll' 'ソゾ\.WV: ゾ\.WV alone, ソゾ behind Velkor' \
  -- --lang=en install "${install_runtime[@]}" "$(win "$work/real")\\in_wv.dll"

# Other code pages. 950 has characters whose second byte is 0x5C too, and
# the test names come from it. 1252 has none: its names hold no character
# that a byte-wise cut breaks, and the Japanese texts still read right.
wine=(env VELKOR_LOCALE=zh_TW.UTF-8 "$root/tools/wine-run.sh")
row "code page 950: a byte-wise plug-in needs Velkor" 0 'needs Velkor' '<- repaired' \
  -- --lang=en check "$(win "$stand_ins/in_bytewise.dll")"
wine=(env VELKOR_LOCALE=en_US.UTF-8 "$root/tools/wine-run.sh")
row "code page 1252: nothing needs Velkor, told in Japanese" 0 \
  'このシステムのコードページ（1252）には' '曲名は正しい \(velkor-test\.mp3 -> velkor-test\)' \
  -- --lang=ja check "$(win "$stand_ins/in_bytewise.dll")"

write_results velkor_cli "$build" rows
