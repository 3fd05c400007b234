#!/bin/sh
# Runs a 32-bit Windows program under Wine, in a Wine prefix of its own; with
# --win64, a 64-bit one under 64-bit Wine, in a 64-bit prefix.
#
#   wine-run.sh [--win64] PREFIX PROGRAM [ARGUMENT...]
#
# The Windows build's tests run through this (it is the build's cross-compiling
# emulator). The first run creates PREFIX with wineboot and waits until the
# Wine server has written it and gone, so that later runs, also those started
# side by side, find a finished prefix. A run fails, never passes, when Wine is
# missing or cannot start; otherwise it ends with the program's exit status.
set -eu

arch=win32
if [ "${1:-}" = --win64 ]; then
    arch=win64
    shift
fi
if [ $# -lt 2 ]; then
    echo "usage: wine-run.sh [--win64] PREFIX PROGRAM [ARGUMENT...]" >&2
    exit 2
fi
prefix=$1
shift

if [ "$arch" = win64 ]; then
    # 64-bit Wine's own loader, called directly: the commands `wine` and
    # `wineboot` start the 32-bit loader when it is installed, and a kernel
    # without 32-bit support cannot run that. 64-bit Wine runs 64-bit Windows
    # programs as 64-bit Linux processes, so it starts wherever the
    # machine runs 64-bit Linux programs.
    wine=/usr/lib/wine/wine64
    if [ ! -x "$wine" ]; then
        echo "wine-run: $wine not found; install wine64 (scripts/setup.sh all)" >&2
        exit 127
    fi
    export WINELOADER="$wine"
    wineboot() { "$wine" wineboot.exe "$@"; }
    tools="wineserver flock"
else
    wine=wine
    tools="wine wineboot wineserver flock"
fi
for tool in $tools; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "wine-run: $tool not found; install wine and wine32 (scripts/setup.sh all)" >&2
        exit 127
    fi
done

export WINEPREFIX="$prefix"
export WINEARCH="$arch"
export WINEDEBUG=-all
# No Mono or Gecko installers, no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"

mkdir -p "$(dirname "$prefix")"
(
    flock 9
    if [ ! -f "$prefix/.ready" ]; then
        log="$prefix.log"
        # The lock's descriptor stays with this shell: the Wine server that
        # wineboot starts must not hold the lock.
        if ! wineboot -i >"$log" 2>&1 9>&- || ! wineserver -w 9>&-; then
            echo "wine-run: wineboot could not set up $prefix; its output:" >&2
            tail -n 20 "$log" >&2
            exit 1
        fi
        : >"$prefix/.ready"
    fi
) 9>"$prefix.lock"

# A Wine server that outlives each program by a few seconds, so that a run of
# many tests starts Wine's services once, not once per test; it leaves by
# itself soon after the last one. Nothing happens when one is running already.
wineserver -p10 </dev/null >/dev/null 2>&1 || true

# Wine's own processes (services.exe and the like), started by the first
# program, keep its standard error for their messages, and so would keep the
# caller (CTest, a pipe) waiting until they leave. The program's standard error
# goes to a file instead and is copied out when the program ends.
run_program() {
    errors=$(mktemp "$prefix.stderr.XXXXXX")
    status=0
    "$wine" "$@" 2>"$errors" || status=$?
    cat "$errors" >&2
    rm -f "$errors"
}

run_program "$@"
# Wine 8's loader now and then dies of SIGSEGV itself while a finished
# program's process is torn down (seen twice in some 700 test programs run,
# each time after its tests had passed). A crash of the Windows program is an unhandled
# exception and ends with its code (5 for an access violation), never with
# the loader's signal, so only that signal earns one more run.
if [ "$status" -eq 139 ]; then
    echo "wine-run: Wine's loader crashed (SIGSEGV, not an exception of the program); running it once more" >&2
    run_program "$@"
fi
exit "$status"
