#!/usr/bin/env bash
# Runs every suite: native, then both Windows builds under Wine. Ends with one
# line "N passed, M failed" over all of them, and fails if anything failed.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

dirs=()
"$root/tools/run-suites.sh" native
# Both Windows builds under Wine: here, or in a virtual machine where this
# kernel cannot run the 32-bit programs that Wine needs.
"$root/tools/i386-vm.sh" run "$root/tools/run-suites.sh" win32-msvcrt win32-msvcr70
dirs+=("$root/build/native" "$root/build/win32-msvcrt" "$root/build/win32-msvcr70")

# The DLLs once more, from a copy of the sources in another folder: the same
# bytes, or the release cannot be checked against its sources.
repro_dir="$root/build/repro"
echo "== reproducible"
"$root/tools/check-reproducible.sh" "$root/build/repro-junit.xml"
mkdir -p "$repro_dir" && mv "$root/build/repro-junit.xml" "$repro_dir/ctest-junit.xml"
dirs+=("$repro_dir")

# The release package, packed from these builds and checked file by file.
dist_dir="$root/build/dist-check"
rm -rf "$dist_dir"
mkdir -p "$dist_dir"
echo "== dist"
zip="$("$root/packaging/make-dist.sh" "$dist_dir")" &&
  python3 "$root/packaging/check-dist.py" "$zip" "$dist_dir/ctest-junit.xml" | tail -1
dirs+=("$dist_dir")

python3 "$root/tools/test-summary.py" "${dirs[@]}"
