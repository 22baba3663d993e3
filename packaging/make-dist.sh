#!/usr/bin/env bash
# Packs the release: dist/velkor-<version>-win32.zip with both DLLs,
# velkor.exe and the two read-me files. The Japanese read-me is converted to code page
# 932, and both to CRLF line ends, for Notepad on the systems Velkor serves.
# usage: make-dist.sh [OUTPUT_DIR]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${1:-$root/dist}"
version="$(head -n 1 "$root/VERSION")"
[ -n "$version" ] || { echo "make-dist: no version in VERSION" >&2; exit 1; }

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/msvcrt" "$stage/msvcr70"
cp "$root/build/win32-msvcrt/velkor.dll" "$stage/msvcrt/velkor.dll"
cp "$root/build/win32-msvcr70/velkor.dll" "$stage/msvcr70/velkor.dll"
cp "$root/build/win32-msvcrt/velkor.exe" "$stage/velkor.exe"
sed 's/$/\r/' "$root/packaging/README-en.txt" > "$stage/README-en.txt"
iconv -f UTF-8 -t CP932 "$root/packaging/README-ja.txt" | sed 's/$/\r/' > "$stage/README-ja.txt"

mkdir -p "$out"
zip="$out/velkor-$version-win32.zip"
rm -f "$zip"
(cd "$stage" && TZ=UTC zip -q -X -r "$zip" README-en.txt README-ja.txt velkor.exe msvcrt msvcr70)
echo "$zip"
