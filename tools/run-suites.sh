#!/usr/bin/env bash
# Runs the CTest suites of the presets named, each writing its JUnit report
# into its build folder; the Windows ones in one Wine session. Runs where
# Wine runs: tools/run-tests.sh starts the Windows ones through
# tools/i386-vm.sh.
# usage: run-suites.sh PRESET...
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

if [[ " $* " == *" win32-"* ]]; then
  "$root/tools/wine-session.sh" start
  trap '"$root/tools/wine-session.sh" stop' EXIT
fi

for preset in "$@"; do
  dir="$root/build/$preset"
  rm -rf "$dir/test-results" "$dir/ctest-junit.xml"
  echo "== $preset"
  ctest --preset "$preset" -j2 --output-junit "$dir/ctest-junit.xml" </dev/null
done
# The summary reads the reports: the suites' own status counts there.
exit 0
