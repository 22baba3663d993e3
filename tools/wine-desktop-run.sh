#!/usr/bin/env bash
# Runs a Windows program that drives a window, in a Wine desktop of its own
# on the display that VELKOR_DISPLAY names (tools/with-xvfb.sh), and waits
# until the program writes "done" as the last line of its report, or until
# the time limit. The desktop's programs' output does not reach the caller,
# and the desktop may outlive them, so the report ends the wait.
# VELKOR_DESKTOP sets the desktop's size (1024x768 by default).
# usage: wine-desktop-run.sh NAME REPORT SECONDS PROGRAM ARGS...
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
name="$1" report="$2" seconds="$3"
shift 3
[ -n "${VELKOR_DISPLAY:-}" ] || { echo "wine-desktop-run: no VELKOR_DISPLAY: run it through tools/with-xvfb.sh" >&2; exit 1; }
rm -f "$report"
"$root/tools/wine-run.sh" explorer "/desktop=$name,${VELKOR_DESKTOP:-1024x768}" "$@" </dev/null >/dev/null 2>&1 &
desktop=$!
start=$SECONDS
while ! grep -qx 'done' "$report" 2>/dev/null && [ $((SECONDS - start)) -lt "$seconds" ]; do
  kill -0 "$desktop" 2>/dev/null || break
  sleep 2
done
sleep 2
kill "$desktop" 2>/dev/null
wait "$desktop" 2>/dev/null
grep -qx 'done' "$report" 2>/dev/null
