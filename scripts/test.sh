#!/usr/bin/env bash
# Builds everything and runs every test suite: native release (with the
# integration suite under valgrind as well), then the same suites under
# AddressSanitizer+UndefinedBehaviorSanitizer, then the threaded suites under
# ThreadSanitizer, then the 32-bit Windows module brelvix.p with the suites
# run against it under Wine, then the 64-bit one with the same suites under
# 64-bit Wine, then each fuzz target for 30 seconds. Fails on the first
# failure, sanitizer report or fuzzer finding.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh all

run_preset() {
  local preset=$1
  echo "==> $preset" >&2
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
  ctest --preset "$preset"
}

run_preset release
run_preset asan
run_preset tsan
# Wine runs the 32-bit programs as 32-bit Linux processes: a kernel built
# without 32-bit support (some virtual machines) cannot run them at all. There
# the checks of the module file run here, with the Windows suites left
# unregistered (CTest would start each program to list its tests), and then
# the suites run under Wine on an emulated x86-64 machine whose kernel can
# (scripts/wine-vm.sh).
if wine --version >/dev/null 2>&1; then
  cmake --preset windows -DBRELVIX_WINE_TESTS=ON >/dev/null
  run_preset windows
else
  echo "==> windows: this machine cannot run 32-bit programs, so Wine cannot start here;" \
    "the module file is checked here and the suites run under Wine on an emulated machine" \
    "(scripts/wine-vm.sh)" >&2
  cmake --preset windows -DBRELVIX_WINE_TESTS=OFF >/dev/null
  run_preset windows
  cmake --preset windows -DBRELVIX_WINE_TESTS=ON >/dev/null
  scripts/wine-vm.sh ctest --preset windows -E '^ModuleFile\.'
fi
# The Wine server of the Windows tests would leave by itself a few seconds
# after the last test; nothing of the run stays behind.
WINEPREFIX="$PWD/build/windows/wine-prefix" wineserver -k 2>/dev/null || true
# 64-bit Wine runs 64-bit Windows programs as 64-bit Linux processes, so the
# 64-bit module's suites run here whatever the kernel's 32-bit support.
run_preset windows64
WINEPREFIX="$PWD/build/windows64/wine-prefix" wineserver -k 2>/dev/null || true
echo "==> fuzz" >&2
scripts/fuzz.sh 30
echo "==> all suites passed" >&2
