#!/usr/bin/env bash
# Builds everything and runs every test suite: native release (with the
# integration suite under valgrind as well), then the same suites under
# AddressSanitizer+UndefinedBehaviorSanitizer, then the threaded suites under
# ThreadSanitizer, then the 32-bit Windows module brelvix.p with the suites
# run against it under Wine, then the 64-bit one with the same suites under
# 64-bit Wine, then each fuzz target for 30 seconds. Fails on the first
# failure, sanitizer report or fuzzer finding.
#
#   bash scripts/test.sh [native|windows|windows64|fuzz]...
#
# Naming parts runs those alone, in the order above (native: the release,
# sanitizer and thread-sanitizer runs).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/wine32.sh

parts=" ${*:-native windows windows64 fuzz} "
for part in $parts; do
  case $part in
    native | windows | windows64 | fuzz) ;;
    *)
      echo "test: unknown part '$part'; usage: scripts/test.sh [native|windows|windows64|fuzz]..." >&2
      exit 2
      ;;
  esac
done
wanted() { [[ $parts == *" $1 "* ]]; }

# Set up once: the scripts run below (fuzz.sh) need nothing more.
scripts/setup.sh all
export BRELVIX_SETUP_DONE="all native"

run_preset() {
  local preset=$1
  echo "==> $preset" >&2
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
  ctest --preset "$preset"
}

if wanted native; then
  run_preset release
  run_preset asan
  run_preset tsan
fi
# Wine runs the 32-bit programs as 32-bit Linux processes. Whether it can
# here is found by running its 32-bit loader (scripts/lib/wine32.sh), and
# one line says which case it is. Where it cannot (32-bit Wine missing or
# not installable, or a kernel built without 32-bit support, as in some
# virtual machines), the checks of the module file run here, with the
# Windows suites left unregistered (CTest would start each program to list
# its tests), and then the suites run under Wine on an emulated x86-64
# machine whose kernel can (scripts/wine-vm.sh).
if wanted windows; then
  wine32_decide
  if [ "$wine32_case" = works ]; then
    echo "==> windows: $(wine32_line); the 32-bit suites run under it here" >&2
    cmake --preset windows -DBRELVIX_WINE_TESTS=ON >/dev/null
    run_preset windows
  else
    echo "==> windows: $(wine32_line); the module file is checked here and the 32-bit suites" \
      "run under Wine on an emulated machine (scripts/wine-vm.sh)" >&2
    cmake --preset windows -DBRELVIX_WINE_TESTS=OFF >/dev/null
    run_preset windows
    cmake --preset windows -DBRELVIX_WINE_TESTS=ON >/dev/null
    # The first program run there makes Wine's prefix, which under emulation
    # can take longer than CTest allows a program to list its tests: one
    # listing runs first, outside CTest. On a busy machine Wine gives up
    # waiting for the prefix yet finishes making it, so a second try finds
    # it made.
    list_once='build/windows/wine-run build/windows/brelvix_unit_tests.exe --gtest_list_tests >/dev/null'
    scripts/wine-vm.sh sh -c "{ $list_once || $list_once; } && ctest --preset windows -E '^ModuleFile\.'"
  fi
  # The Wine server of the Windows tests would leave by itself a few seconds
  # after the last test; nothing of the run stays behind.
  WINEPREFIX="$PWD/build/windows/wine-prefix" wineserver -k 2>/dev/null || true
fi
# 64-bit Wine runs 64-bit Windows programs as 64-bit Linux processes, so the
# 64-bit module's suites run here whatever the kernel's 32-bit support.
if wanted windows64; then
  run_preset windows64
  WINEPREFIX="$PWD/build/windows64/wine-prefix" wineserver -k 2>/dev/null || true
fi
if wanted fuzz; then
  echo "==> fuzz" >&2
  scripts/fuzz.sh 30
fi
if [ $# -eq 0 ]; then
  echo "==> all suites passed" >&2
else
  echo "==> the suites of${parts% } passed" >&2
fi
