#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Usage: scripts/setup.sh [native|all|release|vm]   (native: what the main job needs;
# release: what scripts/release.sh needs; vm: what scripts/wine-vm.sh needs)
set -euo pipefail

what=${1:-all}
native=(cmake ninja-build g++ libgtest-dev libbenchmark-dev libpng-dev libcli11-dev pkg-config binutils
  libassimp-dev libembree-dev libopenexr-dev libcairo2-dev nlohmann-json3-dev)
# The Windows builds: the i686 and x86-64 cross compilers (posix threads),
# GoogleTest's sources to build for those targets, and 32-bit and 64-bit Wine
# to run the tests.
extra=(clang libclang-rt-14-dev valgrind g++-mingw-w64-i686 g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  googletest wine wine32 wine64)
# Real scene files written by other programs, which the tests read.
extra+=(assimp-testmodels)

# The release: both Windows builds' compilers, git for the last commit's time,
# cmark-gfm for the guide's page, zip for the archive.
release=(cmake ninja-build git g++-mingw-w64-i686 g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 cmark-gfm zip)

# The emulated machine that runs Wine where this kernel cannot.
vm=(qemu-system-x86 debootstrap e2fsprogs)

wanted=("${native[@]}")
if [ "$what" = all ]; then
  wanted+=("${extra[@]}")
fi
if [ "$what" = release ]; then
  wanted=("${release[@]}")
fi
if [ "$what" = vm ]; then
  wanted=("${vm[@]}")
fi

missing=()
for package in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}" >&2
if [ "$(id -u)" -ne 0 ]; then
  echo "setup: missing packages and not root; install them: ${missing[*]}" >&2
  exit 1
fi
for package in "${missing[@]}"; do
  if [ "$package" = wine32 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
done
export DEBIAN_FRONTEND=noninteractive
apt-get update -q >&2
apt-get install -y -q "${missing[@]}" >&2
