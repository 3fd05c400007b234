#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Usage: scripts/setup.sh [native|all|release|vm]   (native: what the main job needs;
# all: that, the test tools, the Windows cross compilers and Wine; release:
# what scripts/release.sh needs; vm: what scripts/wine-vm.sh needs)
#
# The packages go in groups, each installed on its own, so that one group
# that cannot be installed does not keep the others out. A group that cannot
# be installed fails the script, with one line naming it and apt's reason;
# except 32-bit Wine, which a machine may be unable to install (its i386
# libraries must match the amd64 ones exactly, and a half-synced mirror or a
# missing index breaks that): then one line says so and why, and the script
# succeeds, since the 32-bit Windows suites can run on an emulated machine
# (scripts/test.sh decides). A failed `apt-get update` is retried and then
# only reported (scripts/lib/apt.sh).
#
# A run with BRELVIX_SETUP_DONE holding the word of its argument does
# nothing: scripts/test.sh sets it once it has run this, for the scripts it
# runs in turn.
set -euo pipefail
. "$(dirname "$0")/lib/apt.sh"

what=${1:-all}
case " ${BRELVIX_SETUP_DONE:-} " in *" $what "*) exit 0 ;; esac

# What the main job (scripts/run.sh) needs: the module, the renderer and
# the native suites.
native=(cmake ninja-build g++ libgtest-dev libbenchmark-dev libpng-dev libcli11-dev pkg-config binutils
  libassimp-dev libembree-dev libopenexr-dev libcairo2-dev nlohmann-json3-dev libosd-dev)
# The test tools (sanitizers, valgrind, bats for the scripts' own tests, real
# scene files written by other programs) and the Windows builds: the i686
# and x86-64 cross compilers (posix threads), GoogleTest's sources to build
# for those targets, and 64-bit Wine to run the tests.
tools=(clang libclang-rt-14-dev valgrind bats assimp-testmodels g++-mingw-w64-i686 g++-mingw-w64-i686-posix
  binutils-mingw-w64-i686 g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  googletest wine wine64)
# 32-bit Wine, for the 32-bit module's suites.
wine32=(wine32)

# The release: both Windows builds' compilers, git for the last commit's time,
# cmark-gfm for the guide's page, zip for the archive.
release=(cmake ninja-build git g++-mingw-w64-i686 g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 cmark-gfm zip)

# The emulated machine that runs Wine where this kernel cannot.
vm=(qemu-system-x86 debootstrap e2fsprogs)

# "name|packages" for each group, in the order they are installed.
case $what in
  native) groups=("what the main job needs|${native[*]}") ;;
  all)
    groups=("what the main job needs|${native[*]}" "the test tools and the Windows cross compilers|${tools[*]}"
      "32-bit Wine|${wine32[*]}")
    ;;
  release) groups=("what scripts/release.sh needs|${release[*]}") ;;
  vm) groups=("the emulated machine's tools|${vm[*]}") ;;
  *)
    echo "setup: unknown argument '$what'; usage: scripts/setup.sh [native|all|release|vm]" >&2
    exit 2
    ;;
esac

# The missing packages of each group; nothing to do when none is missing.
declare -a missing
any=no
for i in "${!groups[@]}"; do
  read -ra packages <<<"${groups[$i]#*|}"
  missing[i]=$(apt_missing "${packages[@]}" | tr '\n' ' ')
  missing[i]=${missing[i]% }
  [ -n "${missing[i]}" ] && any=yes
done
[ "$any" = no ] && exit 0

# 32-bit Wine is the one group the tests can do without.
optional() { [ "${groups[$1]%%|*}" = "32-bit Wine" ]; }

if [ "$(id -u)" -ne 0 ]; then
  status=0
  for i in "${!groups[@]}"; do
    [ -n "${missing[i]}" ] || continue
    if optional "$i"; then
      echo "setup: 32-bit Wine is not installed and installing it needs root;" \
        "the 32-bit Windows suites will run on an emulated machine" >&2
    else
      echo "setup: missing ${groups[i]%%|*} and not root; install them: ${missing[i]}" >&2
      status=1
    fi
  done
  exit "$status"
fi

if [[ " ${missing[*]} " == *" wine32 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt_update_retried setup

status=0
for i in "${!groups[@]}"; do
  [ -n "${missing[i]}" ] || continue
  name=${groups[i]%%|*}
  read -ra packages <<<"${missing[i]}"
  echo "setup: installing $name: ${packages[*]}" >&2
  if ! optional "$i"; then
    if ! reason=$(apt_install "${packages[@]}"); then
      echo "setup: cannot install $name (${packages[*]}): $reason" >&2
      status=1
    fi
  # apt's long account of a 32-bit Wine it cannot install says nothing its
  # last line does not.
  elif ! reason=$(apt_install "${packages[@]}" 2>/dev/null); then
    echo "setup: 32-bit Wine cannot be installed here ($reason);" \
      "the 32-bit Windows suites will run on an emulated machine" >&2
  fi
done
exit "$status"
