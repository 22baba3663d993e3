#!/usr/bin/env bash
# make demo: velkor.exe, laid out as in the package, on a demo player's
# Plugins folder under Wine in code page 932. It holds a plug-in that cuts
# names at the last 0x5C byte and one that titles them correctly:
# 1. scan, 2. install, 3. the titles alone and behind Velkor, 4. an update
# of an older copy, 5. uninstall, and the folder ends byte for byte as it
# was; 6. the window, VelkorSetup.exe, on the same folder under a private
# Xvfb, with screenshots in English and Japanese in build/demo/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/win32-msvcrt"
demo="$root/build/demo"
rm -rf "$demo"
mkdir -p "$demo/velkor/msvcrt" "$demo/Winamp/Plugins"
cp "$build/velkor.exe" "$build/VelkorSetup.exe" "$demo/velkor/"
cp "$build/velkor.dll" "$demo/velkor/msvcrt/"
cp "$build/examples/in_demo.dll" "$build/examples/in_demo_whole.dll" "$demo/Winamp/Plugins/"

plugins="Z:${demo//\//\\}\\Winamp\\Plugins"
velkor() {
  echo "\$ velkor $*"
  "$root/tools/wine-run.sh" "$demo/velkor/velkor.exe" --lang=en "$@" 2>&1 | cat
  echo
}
listing() { (cd "$demo/Winamp/Plugins" && sha256sum -- *); }

# A server that is already running (a test run's) serves as well.
"$root/tools/wine-session.sh" start || true
trap '"$root/tools/wine-session.sh" stop' EXIT

before="$(listing)"
echo "The demo player's Plugins folder:"
echo "$before"
echo
echo "== 1. Which plug-ins need Velkor?"
velkor scan "$plugins"
echo "== 2. Put Velkor in front of the one that does"
velkor install "$plugins\\in_demo.dll"
echo "== 3. Its titles, alone and behind Velkor"
velkor check "$plugins\\in_demo.dll" 'D:\音楽\表示.mp3' 'ソフト.ogg' '能力テスト.mp2' '十字架.mp3' 'song.mp3'
echo "== 4. Bring an older copy up to date"
echo "(in_demo.dll is made a copy of Velkor 1.0.0 here, as if installed long ago)"
cp "$build/cli-stand-ins/velkor-1.0.0.dll" "$demo/Winamp/Plugins/in_demo.dll"
velkor scan "$plugins"
velkor update "$plugins"
echo "== 5. Undo it"
velkor uninstall "$plugins\\in_demo.dll"
after="$(listing)"
echo "$after"
if [ "$before" = "$after" ]; then
  echo "The folder is byte for byte as it was."
else
  echo "The folder differs from before:" >&2
  diff <(echo "$before") <(echo "$after") >&2
  exit 1
fi
echo
echo "== 6. The same in the window: VelkorSetup.exe"
win() { printf 'Z:%s' "${1//\//\\}"; }
# Japanese at 150 %, as many laptops are set: Wine takes the DPI from the
# registry when the desktop starts.
dpi_key='HKCU\Control Panel\Desktop'
for lang in en ja; do
  report="$demo/window-$lang.txt"
  size=1024x768
  if [ "$lang" = ja ]; then
    "$root/tools/wine-run.sh" reg add "$dpi_key" /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
    trap '"$root/tools/wine-run.sh" reg delete "$dpi_key" /v LogPixels /f >/dev/null 2>&1; "$root/tools/wine-session.sh" stop' EXIT
    size=1600x1000
  fi
  if VELKOR_DESKTOP=$size "$root/tools/with-xvfb.sh" "$root/tools/wine-desktop-run.sh" "velkor-demo-$lang" "$report" 900 \
    "$(win "$build/window_e2e.exe")" "$(win "$demo/velkor/VelkorSetup.exe")" "$plugins" \
    "$(win "$report")" "$(win "$demo/window-$lang")" "$lang" -; then
    python3 "$root/tools/bmp2png.py" "$demo/window-$lang-scan.bmp" "$demo/window-$lang.png"
    rm -f "$demo/window-$lang-scan.bmp"
    echo "The window's rows ($lang):"
    sed -n 's/^row: /  /p' "$report"
    echo "Screenshot: build/demo/window-$lang.png$([ "$lang" = ja ] && echo ", at 150 %")"
  else
    echo "The window did not finish; its report:" >&2
    cat "$report" >&2
    exit 1
  fi
done
