#!/usr/bin/env bash
# Checks velkor-probe under Wine: the demo table, and the exit codes for bad
# arguments (1) and for plug-ins that cannot be used (2).
# usage: test-probe.sh BUILD_DIR
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$1"
cd "$build"
run() { "$root/tools/wine-run.sh" velkor-probe.exe "$@"; }
failures=0
expect() { # expect CODE PATTERN -- ARGS...
  local code="$1" pattern="$2"; shift 3
  local out status
  out="$(run "$@" 2>&1)"; status=$?
  if [ "$status" -ne "$code" ] || ! grep -q -- "$pattern" <<<"$out"; then
    echo "FAIL: velkor-probe $* gave $status, expected $code and /$pattern/:"
    echo "$out" | sed 's/^/    /'
    failures=$((failures + 1))
  else
    echo "ok:   velkor-probe $* -> $status"
  fi
}
expect 0 '表示   <- repaired' -- --velkor=velkor.dll examples/in_demo.dll 'D:\音楽\表示.mp3' song.mp3
expect 0 'Extensions: mp3;mp2 (Audio), ogg (Vorbis)' -- --velkor=velkor.dll examples/in_demo.dll a.ogg
expect 1 'usage: velkor-probe' --
expect 1 'usage: velkor-probe' -- examples/in_demo.dll
expect 1 'unknown option' -- --frobnicate examples/in_demo.dll a.mp3
expect 2 'cannot load' -- --velkor=velkor.dll missing.dll a.mp3
expect 2 'no winampGetInModule2 export' -- --velkor=velkor.dll e2e/inner_noexport.dll a.mp3
expect 2 'refused (version 0x101' -- --velkor=velkor.dll e2e/inner_v101.dll a.mp3
expect 2 'cannot find Velkor' -- --velkor=nowhere.dll examples/in_demo.dll a.mp3
exit $((failures > 0))
