#!/usr/bin/env bash
# Runs a command of the project under Wine on an emulated x86-64 machine, for
# machines whose kernel cannot run 32-bit programs (Wine runs 32-bit Windows
# programs as 32-bit Linux processes, so there it cannot start at all).
#
#   scripts/wine-vm.sh [--carry DIR]... COMMAND [ARGUMENT...]
#
# The emulated machine is Debian (the same release as this one) with its own
# kernel, 32-bit Wine and CMake, booted by qemu-system-x86_64 under software
# emulation. It sees a copy of the project's sources and of each carried build
# folder (default: build/windows) at the same absolute path as here, so that
# CTest's files and the Wine wrapper work unchanged; the command runs in the
# project folder and its output comes back on standard output. The script
# ends with the command's exit status, or 1 with a line saying why when the
# machine could not be made, did not boot or did not finish in time.
#
# Its root file system is made once, with debootstrap, into build/wine-vm
# (some 2 GB, a few minutes), and reused; the copy of the project is made
# anew for each run. Needs root, for debootstrap and the image tools.
#
# Software emulation gives every test its true result, but not the speed of
# the real processor: times measured in it say nothing about Wine's.
set -euo pipefail
cd "$(dirname "$0")/.."
project=$PWD

carry=()
while [ "${1:-}" = --carry ]; do
  carry+=("${2:?--carry needs a folder}")
  shift 2
done
[ ${#carry[@]} -eq 0 ] && carry=(build/windows)
if [ $# -eq 0 ]; then
  echo "usage: scripts/wine-vm.sh [--carry DIR]... COMMAND [ARGUMENT...]" >&2
  exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "wine-vm: making the emulated machine needs root (debootstrap, chroot)" >&2
  exit 1
fi
for dir in "${carry[@]}"; do
  if [ ! -d "$dir" ]; then
    echo "wine-vm: no folder $dir to carry into the machine (build it first)" >&2
    exit 1
  fi
done
scripts/setup.sh vm

vm=$project/build/wine-vm
suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
# The whole run, boot included; the Windows suites take a few minutes.
timeout=${BRELVIX_VM_TIMEOUT:-3600}

# The machine's first process, kept in its root file system: mounts the job's
# disk and hands over to the job's own start-up, which the job disk carries so
# that a change to it needs no new root file system.
write_init() {
  cat >"$1" <<'EOF'
#!/bin/sh
mkdir -p /job
mount -t proc proc /proc 2>/dev/null
mount /dev/vdb /job && exec /bin/sh /job/start.sh
echo "==> wine-vm: job exit 1 (no job disk)"
echo o >/proc/sysrq-trigger
sleep 60
EOF
  chmod 755 "$1"
}

# The job's start-up: mounts what Wine needs, sets the clock from the kernel's
# command line, mounts the copy of the project over the project's path, runs
# the job and powers off. The markers around the job's output let the caller
# tell its output and its exit status from the firmware's and the kernel's.
write_start() {
  cat >"$1" <<'EOF'
export HOME=/root LANG=C.UTF-8 TERM=dumb
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sys /sys
mountpoint -q /dev || mount -t devtmpfs dev /dev
mkdir -p /dev/shm /dev/pts
mount -t tmpfs tmpfs /dev/shm; mount -t devpts devpts /dev/pts; mount -t tmpfs tmpfs /tmp
for word in $(cat /proc/cmdline); do
  case $word in
    brelvix.epoch=*) date -s "@${word#*=}" >/dev/null ;;
  esac
done
path=$(cat /job/path)
echo 1 >/tmp/status
if mkdir -p "$path" && mount --bind /job/tree "$path"; then
  echo "==> wine-vm: job begins"
  # Through a pipe, not the console: on a terminal Wine's console draws
  # with escape sequences.
  { (cd "$path" && bash /job/job.sh) </dev/null; echo $? >/tmp/status; } 2>&1 | cat
  sync
fi
echo "==> wine-vm: job exit $(cat /tmp/status)"
echo o >/proc/sysrq-trigger
sleep 60
EOF
}

# The main archive of this machine's release, as apt's sources name it
# (whether or not its indexes could be fetched). The machine is made from it
# alone: an index of another archive (the security one, say) that a mirror
# serves half-synced cannot stop it.
archive_of_this_machine() {
  apt-get indextargets --no-release-info --format '$(REPO_URI)' 'Created-By: Packages' \
    'Component: main' "Release: $suite" 2>/dev/null | head -n1
}

# What runs in the root file system being made: Wine, 32-bit Wine and a
# kernel, from the main archive that debootstrap wrote into its sources. A
# failed update is retried and then only reported, as on this machine.
write_installs() {
  cat "$project/scripts/lib/apt.sh" >"$1"
  cat >>"$1" <<'EOF'
set -eu
dpkg --add-architecture i386
apt_update_retried wine-vm
reason=$(apt_install --no-install-recommends wine wine32:i386 linux-image-amd64) || {
  echo "wine-vm: installing Wine and a kernel into the machine failed: $reason"
  exit 1
}
apt-get clean
EOF
}

# Runs the command given up to three times, a few seconds apart, until it
# succeeds: a mirror's bad minute should not cost the machine.
retried() {
  local try
  for try in 1 2 3; do
    "$@" && return 0
    echo "wine-vm: try $try of 3 failed: $*" >&2
    [ "$try" -lt 3 ] && sleep "${BRELVIX_APT_PAUSE:-5}"
  done
  return 1
}

bootstrap() {
  umount "$tmp/proc" 2>/dev/null || true
  rm -rf "$tmp"
  debootstrap --variant=minbase --include=cmake "$suite" "$tmp" "$mirror" >>"$vm/make.log" 2>&1
}

install_in_root() {
  local status=0
  mount -t proc proc "$tmp/proc"
  chroot "$tmp" /bin/bash /root/installs.sh >>"$vm/make.log" 2>&1 || status=$?
  umount "$tmp/proc"
  return "$status"
}

make_root() {
  [ -f "$vm/root.img" ] && return
  mirror=${BRELVIX_VM_MIRROR:-$(archive_of_this_machine)}
  if [ -z "$mirror" ]; then
    echo "wine-vm: no Debian archive for $suite/main in apt's sources; name one in BRELVIX_VM_MIRROR" >&2
    exit 1
  fi
  tmp=$vm/root.tmp
  mkdir -p "$vm"
  : >"$vm/make.log"
  echo "wine-vm: making the machine's root file system in $vm from $mirror (once)" >&2
  if ! retried bootstrap; then
    echo "wine-vm: debootstrap failed: $(tail -n1 "$vm/make.log"); see $vm/make.log" >&2
    exit 1
  fi
  cp /etc/resolv.conf "$tmp/etc/resolv.conf"
  write_installs "$tmp/root/installs.sh"
  if ! retried install_in_root; then
    echo "wine-vm: installing Wine and a kernel into the machine failed:" \
      "$(grep '^wine-vm:' "$vm/make.log" | tail -n1); see $vm/make.log" >&2
    exit 1
  fi
  rm "$tmp/root/installs.sh"
  write_init "$tmp/sbin/brelvix-vm-init"
  cp "$tmp"/boot/vmlinuz-* "$vm/vmlinuz"
  cp "$tmp"/boot/initrd.img-* "$vm/initrd.img"
  mkfs.ext4 -q -F -L brelvix-vm -d "$tmp" "$vm/root.img.tmp" 6G >/dev/null
  mv "$vm/root.img.tmp" "$vm/root.img"
  rm -rf "$tmp"
}

# The job's disk: the command, the project's path, and the copy of the
# project (sources and the carried build folders, without Wine prefixes).
make_job_disk() {
  local job=$vm/job
  rm -rf "$job"
  mkdir -p "$job/tree"
  echo "$project" >"$job/path"
  write_start "$job/start.sh"
  {
    echo "set -o pipefail"
    printf '%q ' "$@"
    echo
  } >"$job/job.sh"
  tar -C "$project" --exclude=./build --exclude=./dist -cf - . | tar -C "$job/tree" -xf -
  for dir in "${carry[@]}"; do
    mkdir -p "$job/tree/$dir"
    tar -C "$project/$dir" --exclude=./wine-prefix --exclude='./wine-prefix.*' \
      --exclude=./reproducible -cf - . | tar -C "$job/tree/$dir" -xf -
  done
  local size
  size=$(du -sm "$job" | cut -f1)
  mkfs.ext4 -q -F -L brelvix-job -d "$job" "$vm/job.img" $((size * 2 + 2048))M >/dev/null
  rm -rf "$job"
}

make_root
make_job_disk "$@"

# qemu64: a plain processor model; Debian's kernel under "max" oopses on
# the return to Wine's 32-bit code.
echo "wine-vm: booting the emulated machine ($(nproc) processors)" >&2
console=$vm/console.log
timeout "$timeout" qemu-system-x86_64 -accel tcg,thread=multi -smp "$(nproc)" -m 4096 \
  -cpu qemu64 -display none -serial stdio -monitor none -no-reboot \
  -kernel "$vm/vmlinuz" -initrd "$vm/initrd.img" \
  -append "root=/dev/vda rw console=ttyS0 quiet loglevel=3 init=/sbin/brelvix-vm-init brelvix.epoch=$(date +%s)" \
  -drive file="$vm/root.img",format=raw,if=virtio,snapshot=on \
  -drive file="$vm/job.img",format=raw,if=virtio </dev/null |
  tr -d '\r' | tee "$console" |
  sed -n '/^==> wine-vm: job begins$/,/^==> wine-vm: job exit/{/^==> wine-vm:/!p}' || true

status=$(sed -n 's/^==> wine-vm: job exit \([0-9]*\)$/\1/p' "$console")
if [ -z "$status" ]; then
  echo "wine-vm: the machine ended without finishing the job (timeout ${timeout}s?); its console: $console" >&2
  exit 1
fi
exit "$status"
