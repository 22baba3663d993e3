#!/usr/bin/env bash
# Runs a command where 32-bit (i386) Linux programs can run, which Wine needs
# for the Windows builds: here when the kernel runs them, otherwise inside a
# small Debian virtual machine under QEMU's software emulation.
#
# Some virtual machines' kernels run 64-bit user code only: execve of an
# i386 program fails with ENOEXEC, and no package mends that. The machine
# here boots Debian 12's own kernel, which runs i386 programs, with Wine and
# the test tools installed, and sees the project folder at the same path
# through 9p, so that build trees, CTest's absolute paths and Wine's prefix
# in build/ mean the same inside and out. It can write build/ alone, so that
# no test's mistake reaches the sources; its own disk is thrown away after
# every run.
#
# usage: i386-vm.sh check      exit 0 when this kernel runs i386 programs
#        i386-vm.sh image      build the machine's image unless it is needed
#                              or exists
#        i386-vm.sh run CMD... run CMD here or in the machine, in the current
#                              folder, and exit with its status
#
# The image (about 3 GB) lives in VELKOR_VM_DIR, /var/tmp/velkor-i386-vm by
# default, outside any clone, so that fresh clones on one machine share it.
# Building it takes some minutes and needs root and Debian's mirror.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
vm_dir="${VELKOR_VM_DIR:-/var/tmp/velkor-i386-vm}"
# Bump when the recipe below changes, so that old images are built again.
recipe=5
image="$vm_dir/root-$recipe.img"
mirror="http://deb.debian.org/debian"
packages=(
  linux-image-amd64 procps
  wine wine32:i386 wine64 cmake make python3 diffutils findutils
  binutils-mingw-w64-i686
  xvfb fonts-ipafont-gothic
)

say() { echo "i386-vm: $*" >&2; }

# A 32-bit ELF program of 91 bytes that only calls exit(0): whether the
# kernel runs it is the whole question.
i386_runs() {
  local probe
  probe="$(mktemp)"
  printf '\177\105\114\106\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\133\000\000\000\133\000\000\000\005\000\000\000\000\020\000\000\061\333\061\300\100\315\200' >"$probe"
  chmod +x "$probe"
  local status=0
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  [ "$status" -eq 0 ] || return 1
  # Run by an emulator that binfmt_misc hands i386 programs to, such as the
  # one registered while the image is built, is not run by the kernel: Wine
  # does not work under QEMU's user-mode emulation.
  ! grep -qs '^magic 7f454c460101010000000000000000000200' /proc/sys/fs/binfmt_misc/*
}

# Debian's qemu-user-static registers no i386 handler on amd64, whose kernels
# normally run i386 themselves. The packages' maintainer scripts that run
# i386 programs in the chroot need one, for the build alone.
binfmt_name=velkor-i386
binfmt_on() {
  local dir=/proc/sys/fs/binfmt_misc
  [ -f "$dir/register" ] || mount -t binfmt_misc binfmt_misc "$dir"
  [ -e "$dir/$binfmt_name" ] && return 0
  local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  echo ":$binfmt_name:M::$magic:$mask:/usr/bin/qemu-i386-static:F" >"$dir/register"
}
binfmt_off() {
  local entry=/proc/sys/fs/binfmt_misc/$binfmt_name
  if [ -e "$entry" ]; then echo -1 >"$entry"; fi
}

# The machine's first process: mounts what programs expect, the project
# folder at its own path, runs the job that the host wrote there, leaves its
# status beside it and powers off.
write_init() {
  cat >"$1/usr/sbin/velkor-init" <<'EOF'
#!/bin/sh
PATH=/usr/sbin:/usr/bin:/sbin:/bin
export PATH
# The initramfs has moved /proc, /sys and /dev here already.
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sys /sys
mountpoint -q /dev || mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /var/tmp
stty -onlcr </dev/console 2>/dev/null
modprobe 9pnet_virtio
modprobe 9p
arg() { sed -n "s/.* velkor.$1=\([^ ]*\).*/\1/p" /proc/cmdline; }
share=$(arg share)
job=$(arg job)
mkdir -p "$share"
mount -t 9p -o "$(arg 9p)" velkor "$share"
mount -t 9p -o "$(arg 9p)" velkorbuild "$share/build"
hostname velkor-i386
HOME=/root /bin/bash "$job/run.sh" </dev/null
echo $? >"$job/status"
sync
echo o >/proc/sysrq-trigger
# The power goes off while this waits.
while :; do :; done
EOF
  chmod +x "$1/usr/sbin/velkor-init"
}

build_image() {
  [ -f "$image" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    say "building the machine's image needs root"
    exit 1
  fi
  local tool
  for tool in qemu-system-x86_64 qemu-i386-static debootstrap mke2fs; do
    command -v "$tool" >/dev/null ||
      { say "$tool is missing: tools/install-deps.sh installs it"; exit 1; }
  done
  say "building the i386 machine's image in $vm_dir (once; some minutes)"
  mkdir -p "$vm_dir"
  rm -f "$vm_dir"/root-*.img "$vm_dir"/vmlinuz-* "$vm_dir"/initrd-*
  local tree="$vm_dir/tree"
  rm -rf "$tree"
  debootstrap --variant=minbase bookworm "$tree" "$mirror" \
    >"$vm_dir/debootstrap.log" 2>&1 ||
    { tail -n 20 "$vm_dir/debootstrap.log" >&2; exit 1; }
  # No security suite: the machine runs tests offline and is thrown away,
  # and its i386 index is the one that a mirror in mid-sync serves broken.
  cat >"$tree/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
EOF
  binfmt_on
  trap 'umount "$tree/dev" "$tree/proc" 2>/dev/null; binfmt_off' EXIT
  mount -t proc proc "$tree/proc"
  mount --bind /dev "$tree/dev"
  local status=0
  chroot "$tree" /bin/sh -c "
    set -e
    export DEBIAN_FRONTEND=noninteractive
    dpkg --add-architecture i386
    # A mirror in the middle of its sync serves an index of the wrong size
    # for some minutes (\"Mirror sync in progress?\"): try again.
    for try in 1 2 3 4 5; do
      apt-get update -qq && break
      [ \$try -lt 5 ] || exit 1
      sleep 30
    done
    # An initramfs of the few drivers that this machine boots with is
    # built in seconds; Debian's default takes minutes, twice.
    apt-get install -y -qq --no-install-recommends initramfs-tools kmod
    sed -i 's/^MODULES=.*/MODULES=list/' /etc/initramfs-tools/initramfs.conf
    printf '%s\\n' virtio_pci virtio_blk ext4 crc32c_generic >>/etc/initramfs-tools/modules
    apt-get install -y -qq --no-install-recommends ${packages[*]}
    apt-get clean
    rm -rf /var/lib/apt/lists/*
  " >"$vm_dir/packages.log" 2>&1 || status=$?
  umount "$tree/dev" "$tree/proc"
  binfmt_off
  trap - EXIT
  if [ "$status" -ne 0 ]; then
    tail -n 20 "$vm_dir/packages.log" >&2
    exit 1
  fi
  write_init "$tree"
  cp "$tree"/boot/vmlinuz-* "$vm_dir/vmlinuz-$recipe"
  cp "$tree"/boot/initrd.img-* "$vm_dir/initrd-$recipe"
  local size_mb
  size_mb=$(($(du -sm "$tree" | cut -f1) + 512))
  rm -f "$image.tmp"
  mke2fs -q -t ext4 -d "$tree" -L velkor "$image.tmp" "${size_mb}M"
  mv "$image.tmp" "$image"
  rm -rf "$tree"
  say "image ready: $image"
}

# Runs "$@" in the machine, in the current folder, which must lie inside the
# project folder. Environment variables that the project's scripts read are
# passed on.
run_in_vm() {
  build_image
  case "$PWD/" in
    "$root"/*) ;;
    *) say "run from inside $root"; exit 1 ;;
  esac
  case "$root" in
    *[[:space:]]*) say "the machine cannot see a project folder whose path holds spaces"; exit 1 ;;
  esac
  mkdir -p "$root/build"
  local job
  job="$(mktemp -d "$root/build/.vm-job.XXXXXX")"
  {
    echo "cd $(printf '%q' "$PWD") || exit 1"
    local name
    for name in CI VELKOR_LOCALE VELKOR_WINEPREFIX WINEDEBUG GTEST_FILTER TERM; do
      if [ -n "${!name+x}" ]; then echo "export $name=$(printf '%q' "${!name}")"; fi
    done
    # A load-and-unload cycle of the host patterns takes up to about 75 ms
    # here, against well under one natively: 10,000 of each would take
    # hours, so the long run is shorter.
    echo "export VELKOR_HOST_CYCLES=$(printf '%q' "${VELKOR_HOST_CYCLES:-200}")"
    printf 'exec'
    printf ' %q' "$@"
    echo
  } >"$job/run.sh"
  # Wine reads the sections of a PE file with one pread, and 9p without the
  # page cache returns at most one message's worth: programs over 512 KB
  # started with their code partly zeros.
  local p9="trans=virtio,version=9p2000.L,msize=524288,cache=loose"
  local status=0
  # Without SMAP: QEMU 7.2's emulation of iret, which Wine runs in user mode
  # to resume a thread, then faults as a supervisor access to the stack.
  qemu-system-x86_64 -machine q35 -accel tcg,thread=multi -cpu max,-smap \
    -smp "$(nproc)" -m 6144 -display none -monitor none -serial stdio -no-reboot -snapshot \
    -kernel "$vm_dir/vmlinuz-$recipe" -initrd "$vm_dir/initrd-$recipe" \
    -drive "file=$image,if=virtio,format=raw" \
    -virtfs "local,path=$root,mount_tag=velkor,security_model=passthrough,readonly=on" \
    -virtfs "local,path=$root/build,mount_tag=velkorbuild,security_model=passthrough" \
    -append "root=/dev/vda rw console=ttyS0 quiet loglevel=1 panic=-1 init=/usr/sbin/velkor-init velkor.share=$root velkor.job=$job velkor.9p=$p9" \
    </dev/null || status=$?
  if [ -f "$job/status" ]; then
    status="$(cat "$job/status")"
  else
    say "the machine stopped before the command ended (QEMU's status $status)"
    status=1
  fi
  rm -rf "$job"
  return "$status"
}

case "${1:-}" in
  check)
    i386_runs
    ;;
  image)
    if i386_runs; then exit 0; fi
    build_image
    ;;
  run)
    shift
    if i386_runs; then exec "$@"; fi
    run_in_vm "$@"
    ;;
  *)
    echo "usage: $0 check | image | run CMD..." >&2
    exit 2
    ;;
esac
