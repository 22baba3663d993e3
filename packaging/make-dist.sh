#!/usr/bin/env bash
# Packs the release: dist/velkor-<version>-win32.zip with both DLLs,
# VelkorSetup.exe (the window), velkor.exe, the two read-me files, the change log and SHA256SUMS. The
# Japanese read-me is converted to code page 932, and the texts to CRLF line
# ends, for Notepad on the systems Velkor serves. The zip's bytes depend on
# these files alone: fixed order, attributes, and times from the commit
# (SOURCE_DATE_EPOCH, when set, overrides them).
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
cp "$root/build/win32-msvcrt/VelkorSetup.exe" "$stage/VelkorSetup.exe"
sed 's/$/\r/' "$root/packaging/README-en.txt" > "$stage/README-en.txt"
iconv -f UTF-8 -t CP932 "$root/packaging/README-ja.txt" | sed 's/$/\r/' > "$stage/README-ja.txt"
sed 's/$/\r/' "$root/CHANGELOG.md" > "$stage/CHANGELOG.md"
files=(README-en.txt README-ja.txt CHANGELOG.md VelkorSetup.exe velkor.exe msvcrt/velkor.dll msvcr70/velkor.dll)
# The usual sha256sum lines, which `sha256sum -c SHA256SUMS` checks.
(cd "$stage" && sha256sum "${files[@]}") > "$stage/SHA256SUMS"

epoch="${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || true)}"
[ -n "$epoch" ] || { echo "make-dist: no commit to date the zip by; set SOURCE_DATE_EPOCH" >&2; exit 1; }
mkdir -p "$out"
zip="$out/velkor-$version-win32.zip"
rm -f "$zip"
python3 "$root/packaging/make-zip.py" "$zip" "$stage" "$epoch" "${files[@]}" SHA256SUMS
echo "$zip"
