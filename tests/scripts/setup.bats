#!/usr/bin/env bats
# scripts/setup.sh against a stand-in apt-get: a mirror's broken index and a
# 32-bit Wine that cannot be installed stop nothing else; a package of
# another group that cannot be installed fails the set-up with one line.

load standins

setup() {
  make_standins
  setup_sh=$BATS_TEST_DIRNAME/../../scripts/setup.sh
}

mirror_line='setup: apt-get update failed 3 times (E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]); installing from the indexes it fetched'
wine32_line='setup: 32-bit Wine cannot be installed here (E: Unable to correct problems, you have held broken packages.); the 32-bit Windows suites will run on an emulated machine'

installed() { grep -qx "$1" "$STANDIN_STATE/installed"; }
refute() { ! "$@"; }
updates() { grep -c '^apt-get update' "$STANDIN_LOG" || true; }

@test "a broken index and a refused 32-bit Wine: everything else installs, one line for each" {
  STANDIN_APT_UPDATE=fail STANDIN_APT_REFUSE='wine32 *:i386' run bash "$setup_sh" all
  [ "$status" -eq 0 ]
  [ "$(updates)" -eq 3 ]
  grep -qx "dpkg --add-architecture i386" "$STANDIN_LOG"
  grep -qxF "$mirror_line" <<<"$output"
  grep -qxF "$wine32_line" <<<"$output"
  for package in cmake nlohmann-json3-dev libosd-dev bats g++-mingw-w64-i686 wine64; do
    installed "$package"
  done
  refute installed wine32
  refute grep -q '^setup: cannot' <<<"$output"
}

@test "a package of the main job that cannot be installed fails the set-up, naming it, after the other groups" {
  STANDIN_APT_REFUSE='libembree-dev' run bash "$setup_sh" all
  [ "$status" -eq 1 ]
  grep -qF 'setup: cannot install what the main job needs (' <<<"$output"
  grep -qF 'libembree-dev' <<<"$(grep '^setup: cannot' <<<"$output")"
  grep -q '): E: Unable to correct problems, you have held broken packages.$' <<<"$output"
  [ "$(grep -c '^setup: cannot' <<<"$output")" -eq 1 ]
  installed bats
  installed wine32
}

@test "a working archive: one update, every group installed, nothing reported" {
  run bash "$setup_sh" all
  [ "$status" -eq 0 ]
  [ "$(updates)" -eq 1 ]
  installed cmake
  installed bats
  installed wine32
  refute grep -q -e '^setup: apt-get update failed' -e '^setup: .*cannot' <<<"$output"
  # Nothing missing any more: no apt at all on the next run.
  : >"$STANDIN_LOG"
  run bash "$setup_sh" all
  [ "$status" -eq 0 ]
  [ ! -s "$STANDIN_LOG" ]
}

@test "the main job's set-up asks for nothing of Wine's, whatever the archive" {
  STANDIN_APT_UPDATE=fail STANDIN_APT_REFUSE='wine* *:i386' run bash "$setup_sh" native
  [ "$status" -eq 0 ]
  grep -qxF "$mirror_line" <<<"$output"
  installed libembree-dev
  installed nlohmann-json3-dev
  refute grep -qi -e wine -e i386 "$STANDIN_LOG"
}
