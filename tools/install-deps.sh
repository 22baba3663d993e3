#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, as root. Idempotent:
# when everything is present it only checks and returns within seconds.
set -euo pipefail

packages=(
  g++-mingw-w64-i686 cmake ninja-build make
  googletest libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
  locales zip python3
)
# Wine needs a kernel that runs i386 programs. Where this one doesn't, Wine
# runs in a small virtual machine that tools/i386-vm.sh builds with these.
if "$(dirname "${BASH_SOURCE[0]}")/i386-vm.sh" check; then
  packages+=(wine wine32:i386 xvfb fonts-ipafont-gothic)
else
  packages+=(qemu-system-x86 qemu-user-static debootstrap e2fsprogs)
fi

missing=()
for p in "${packages[@]}"; do
  if [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != "install ok installed" ]; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]}; run as root to install them" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
if [[ " ${missing[*]} " == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
# A mirror in the middle of its sync serves an index of the wrong size for
# some minutes ("Mirror sync in progress?"): try again, and in the end go on
# with the indexes that did come; the install below says what is missing.
for try in 1 2 3 4 5; do
  apt-get update -qq && break
  if [ "$try" -eq 5 ]; then
    echo "install-deps: some of the mirror's indexes failed; going on without them" >&2
    break
  fi
  echo "install-deps: the mirror's index failed; trying again in 30 seconds" >&2
  sleep 30
done
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
