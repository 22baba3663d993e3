#!/usr/bin/env bash
# Builds the DLL of both runtimes a second time, from a copy of the sources
# in another folder into another build folder, and compares each byte for
# byte with the main build's: what users download must be what anyone can
# build again from the same commit. Writes a JUnit report when asked.
# usage: check-reproducible.sh [JUNIT_XML]
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
work="$root/build/repro"
rm -rf "$work"
mkdir -p "$work/source"
tar -C "$root" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C "$work/source" -xf -

cases=()
failures=0
for crt in msvcrt msvcr70; do
  name="velkor.dll ($crt) builds again byte for byte"
  first="$root/build/win32-$crt/velkor.dll"
  again="$work/$crt/velkor.dll"
  if cmake -S "$work/source" -B "$work/$crt" -G Ninja \
       -DCMAKE_TOOLCHAIN_FILE="$work/source/cmake/mingw-i686.cmake" \
       -DCMAKE_BUILD_TYPE=Release -DVELKOR_CRT=$crt -DVELKOR_TESTS=OFF \
       -DVELKOR_COPY_TO_DIST=OFF >"$work/$crt.log" 2>&1 &&
     cmake --build "$work/$crt" --target velkor >>"$work/$crt.log" 2>&1 &&
     cmp -s "$first" "$again"; then
    echo "ok    $name"
    cases+=("ok:$name")
  else
    echo "FAIL  $name"
    if [ -f "$again" ]; then
      cmp -l "$first" "$again" | head -8 | sed 's/^/    differs (offset, bytes in octal): /'
    else
      tail -20 "$work/$crt.log" | sed 's/^/    /'
    fi
    cases+=("fail:$name")
    failures=$((failures + 1))
  fi
done

if [ $# -gt 0 ]; then
  {
    echo '<?xml version="1.0" encoding="UTF-8"?>'
    echo "<testsuite name=\"reproducible\" tests=\"${#cases[@]}\" failures=\"$failures\">"
    for c in "${cases[@]}"; do
      status="${c%%:*}"
      echo "  <testcase name=\"${c#*:}\" status=\"run\">$([ "$status" = ok ] || echo '<failure/>')</testcase>"
    done
    echo '</testsuite>'
  } >"$1"
fi
exit $((failures > 0))
