#!/usr/bin/env bats
# scripts/test.sh's choice for the 32-bit Windows suites, made by running
# Wine's 32-bit loader: under Wine here, or on the emulated machine. The
# command runs from a copy of the scripts, with the real set-up behind a
# stand-in apt-get, and stand-ins for the builds, the emulated machine and
# the fuzzers, which record what they were asked to do.

load standins

setup() {
  make_standins
  copy=$BATS_TEST_TMPDIR/project
  mkdir -p "$copy/scripts"
  cp -r "$BATS_TEST_DIRNAME/../../scripts/test.sh" "$BATS_TEST_DIRNAME/../../scripts/setup.sh" \
    "$BATS_TEST_DIRNAME/../../scripts/lib" "$copy/scripts/"
  for script in wine-vm.sh fuzz.sh; do
    printf '#!/bin/sh\necho "%s $*" >>"$STANDIN_LOG"\n' "$script" >"$copy/scripts/$script"
    chmod 755 "$copy/scripts/$script"
  done
  export BRELVIX_WINE32_LOADER=$BATS_TEST_TMPDIR/wine32-loader
}

emulated="the module file is checked here and the 32-bit suites run under Wine on an emulated machine (scripts/wine-vm.sh)"

# The Windows suites ran here: registered, and no emulated machine.
direct_branch() {
  [ "$(grep -e 'BRELVIX_WINE_TESTS' -e '^ctest --preset windows$' -e '^wine-vm.sh' "$STANDIN_LOG")" = \
    "cmake --preset windows -DBRELVIX_WINE_TESTS=ON"$'\n'"ctest --preset windows" ]
}

# The module file checked here, the suites on the emulated machine.
emulated_branch() {
  local expected="cmake --preset windows -DBRELVIX_WINE_TESTS=OFF
ctest --preset windows
cmake --preset windows -DBRELVIX_WINE_TESTS=ON
wine-vm.sh sh -c { build/windows/wine-run build/windows/brelvix_unit_tests.exe --gtest_list_tests >/dev/null || build/windows/wine-run build/windows/brelvix_unit_tests.exe --gtest_list_tests >/dev/null; } && ctest --preset windows -E '^ModuleFile\\.'"
  [ "$(grep -e 'BRELVIX_WINE_TESTS' -e '^ctest --preset windows$' -e '^wine-vm.sh' "$STANDIN_LOG")" = "$expected" ]
}

@test "32-bit Wine answers: the suites run under it here" {
  make_loader "$BRELVIX_WINE32_LOADER"
  run bash "$copy/scripts/test.sh"
  [ "$status" -eq 0 ]
  grep -qxF "==> windows: 32-bit Wine runs here (its loader answered: wine-8.0 (Debian 8.0~repack-4)); the 32-bit suites run under it here" <<<"$output"
  direct_branch
  grep -qx 'ctest --preset windows64' "$STANDIN_LOG"
  grep -qx 'fuzz.sh 30' "$STANDIN_LOG"
  [ "${lines[-1]}" = "==> all suites passed" ]
}

@test "a broken index and no installable 32-bit Wine: the emulated machine, and the line says why" {
  STANDIN_APT_UPDATE=fail STANDIN_APT_REFUSE='wine32 *:i386' run bash "$copy/scripts/test.sh"
  [ "$status" -eq 0 ]
  grep -qx "setup: 32-bit Wine cannot be installed here (E: Unable to correct problems, you have held broken packages.); the 32-bit Windows suites will run on an emulated machine" <<<"$output"
  grep -qxF "==> windows: 32-bit Wine is not installed (no 32-bit loader $BRELVIX_WINE32_LOADER); $emulated" <<<"$output"
  emulated_branch
  # The set-up ran once, not again for the fuzzers.
  [ "$(grep -c '^apt-get update' "$STANDIN_LOG")" -eq 3 ]
}

@test "32-bit Wine installed but its loader fails: the emulated machine" {
  make_loader "$BRELVIX_WINE32_LOADER" fail
  run bash "$copy/scripts/test.sh" windows
  [ "$status" -eq 0 ]
  # Which of the two lines depends on whether this kernel runs 32-bit
  # programs; both name the loader's own complaint.
  grep -qE "^==> windows: 32-bit Wine is installed but (this kernel runs no 32-bit program|its loader fails) \($BRELVIX_WINE32_LOADER: $BRELVIX_WINE32_LOADER: cannot execute binary file: Exec format error\); " <<<"$output"
  grep -qF "; $emulated" <<<"$(grep '^==> windows:' <<<"$output")"
  emulated_branch
  # Only the part asked for.
  refute grep -q -e 'preset release' -e 'preset windows64' -e '^fuzz.sh' "$STANDIN_LOG"
  [ "${lines[-1]}" = "==> the suites of windows passed" ]
}

refute() { ! "$@"; }
