#!/usr/bin/env bash
# The suites of both Windows builds under Wine, in one Wine session. Runs
# where Wine runs: tools/run-tests.sh starts it through tools/i386-vm.sh.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

"$root/tools/wine-session.sh" start
trap '"$root/tools/wine-session.sh" stop' EXIT

for preset in win32-msvcrt win32-msvcr70; do
  dir="$root/build/$preset"
  rm -rf "$dir/test-results" "$dir/ctest-junit.xml"
  echo "== $preset"
  ctest --preset "$preset" -j2 --output-junit "$dir/ctest-junit.xml" </dev/null
done
# The summary reads the reports: the suites' own status counts there.
exit 0
