# Stand-ins for the system commands that scripts/setup.sh and scripts/test.sh
# call, put first on PATH, so that their decisions can be tested without
# root, network or a build. Each records its calls in $STANDIN_LOG.
#
# apt-get:     STANDIN_APT_UPDATE=fail makes `update` fail as on a mirror in
#              the middle of a sync (exit 100); an install that names a
#              package matching a pattern of STANDIN_APT_REFUSE fails as apt
#              does on held broken packages (exit 100); any other install
#              marks its packages installed.
# dpkg-query:  a package is installed once the stand-in apt-get installed it.
# dpkg, id:    root, with no foreign architecture until one is added.
# cmake, ctest, wineserver: record their arguments and succeed.

make_standins() {
  bin=$BATS_TEST_TMPDIR/bin
  mkdir -p "$bin"
  export STANDIN_LOG=$BATS_TEST_TMPDIR/calls.log
  export STANDIN_STATE=$BATS_TEST_TMPDIR/state
  mkdir -p "$STANDIN_STATE"
  : >"$STANDIN_LOG"
  : >"$STANDIN_STATE/installed"
  : >"$STANDIN_STATE/architectures"
  export BRELVIX_APT_PAUSE=0
  export PATH=$bin:$PATH

  cat >"$bin/apt-get" <<'EOF'
#!/bin/bash
echo "apt-get $*" >>"$STANDIN_LOG"
if [ "$1" = update ]; then
  if [ "${STANDIN_APT_UPDATE:-ok}" = fail ]; then
    echo "Err:4 http://deb.debian.org/debian-security bookworm-security/main i386 Packages"
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]" >&2
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
    exit 100
  fi
  exit 0
fi
packages=()
skip=no
for word in "$@"; do
  # apt's -o takes the next word as its value.
  if [ "$skip" = yes ]; then skip=no; continue; fi
  case $word in -o) skip=yes; continue ;; install | -*) continue ;; esac
  for pattern in ${STANDIN_APT_REFUSE:-}; do
    # shellcheck disable=SC2053
    if [[ $word == $pattern ]]; then
      echo "Some packages could not be installed."
      echo " $word : Depends: zlib1g:i386 (>= 1:1.2.3.3) but it is not going to be installed"
      echo "E: Unable to correct problems, you have held broken packages." >&2
      exit 100
    fi
  done
  packages+=("$word")
done
printf '%s\n' "${packages[@]}" >>"$STANDIN_STATE/installed"
EOF
  cat >"$bin/dpkg-query" <<'EOF'
#!/bin/bash
package=${!#}
grep -qx "$package" "$STANDIN_STATE/installed" || exit 1
echo "install ok installed"
EOF
  cat >"$bin/dpkg" <<'EOF'
#!/bin/bash
echo "dpkg $*" >>"$STANDIN_LOG"
case $1 in
  --print-foreign-architectures) cat "$STANDIN_STATE/architectures" ;;
  --add-architecture) echo "$2" >>"$STANDIN_STATE/architectures" ;;
esac
EOF
  printf '#!/bin/sh\necho 0\n' >"$bin/id"
  for tool in cmake ctest wineserver; do
    printf '#!/bin/sh\necho "%s $*" >>"$STANDIN_LOG"\n' "$tool" >"$bin/$tool"
  done
  chmod 755 "$bin"/*
}

# A stand-in for Wine's 32-bit loader at $1: it answers like Wine, or with
# "fail" as $2, fails the way a kernel without 32-bit support makes it fail.
make_loader() {
  if [ "${2:-}" = fail ]; then
    printf '#!/bin/sh\necho "%s: cannot execute binary file: Exec format error" >&2\nexit 126\n' "$1" >"$1"
  else
    printf '#!/bin/sh\necho "wine-8.0 (Debian 8.0~repack-4)"\n' >"$1"
  fi
  chmod 755 "$1"
}
