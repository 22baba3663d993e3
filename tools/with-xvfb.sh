#!/usr/bin/env bash
# Runs a command with a private X display for the programs that show
# windows under Wine: starts Xvfb on a free display number, passes it on as
# VELKOR_DISPLAY (tools/wine-run.sh hands it to Wine), and stops it after.
# usage: with-xvfb.sh CMD...
set -uo pipefail
command -v Xvfb >/dev/null || { echo "with-xvfb: Xvfb is missing: tools/install-deps.sh installs it" >&2; exit 1; }
display=""
for n in $(seq 71 99); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
    display=$n
    break
  fi
done
[ -n "$display" ] || { echo "with-xvfb: no free display" >&2; exit 1; }
Xvfb ":$display" -screen 0 1920x1200x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null' EXIT
for _ in $(seq 1 100); do
  [ -e "/tmp/.X11-unix/X$display" ] && break
  kill -0 "$xvfb" 2>/dev/null || { echo "with-xvfb: Xvfb did not start" >&2; exit 1; }
  sleep 0.2
done
VELKOR_DISPLAY=":$display" "$@"
