#!/usr/bin/env bash
# Starts or stops the wineserver that a test run shares.
#
# A persistent server lets each test program start fast. The first program in
# a fresh server also starts Wine's background services, which inherit that
# program's output pipes; if ctest launched it, ctest would wait for those
# services and time the test out. So the session starts them here, with the
# pipes pointed elsewhere.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${VELKOR_WINEPREFIX:-$root/build/wine/prefix}"
case "${1:-}" in
  start)
    if [ ! -f "$WINEPREFIX/.initialised" ]; then
      echo "wine-session: creating the Wine prefix (once)"
      rm -rf "$WINEPREFIX"
      "$root/tools/wine-run.sh" wineboot -i </dev/null >/dev/null 2>&1
      wineserver -w
      touch "$WINEPREFIX/.initialised"
    fi
    # A server that another run started already serves this one.
    wineserver -p 600 </dev/null >/dev/null 2>&1 || true
    "$root/tools/wine-run.sh" cmd /c exit </dev/null >/dev/null 2>&1 || true
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
  *)
    echo "usage: $0 start|stop" >&2
    exit 1
    ;;
esac
