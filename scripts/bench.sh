#!/usr/bin/env bash
# Builds the release preset and runs the lens benchmarks: the ray evaluation
# (eye angle 0 and 2 degrees) and the per-frame call through the built module
# file, against a textbook thin-lens camera. Prints the table, then each ray
# case's ratio to the baseline from the same run (medians of the repetitions,
# which run interleaved so that a busy machine disturbs all cases alike).
# Extra arguments go to the benchmark program, e.g.
#     scripts/bench.sh --benchmark_filter='EvaluateRay|ThinLens'
#
# With --windows first, the same for the 32-bit Windows module brelvix.p: the
# windows-bench preset, Google Benchmark compiled for that target from Debian's
# source package (fetched once into build/windows-bench/_deps/benchmark), and
# the program run under Wine. Wine's thread CPU clock advances in 10 ms
# steps, so there each repetition runs 0.5 s instead of 0.05 s. Where 32-bit
# Wine cannot run (not installed, or a kernel that runs no 32-bit program:
# scripts/lib/wine32.sh), the program runs on an emulated machine
# (scripts/wine-vm.sh), and the run says that its figures measure nothing.
#     scripts/bench.sh --windows [benchmark flags]
#
# With --windows64 first, the same for the 64-bit Windows module: the
# windows64-bench preset, the same Google Benchmark sources, the program run
# under 64-bit Wine, which runs it as a 64-bit Linux process on this
# processor, whatever the kernel's 32-bit support.
#     scripts/bench.sh --windows64 [benchmark flags]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/wine32.sh

flags=(
  --benchmark_repetitions=30
  --benchmark_enable_random_interleaving=true
  --benchmark_report_aggregates_only=true
  --benchmark_min_time=0.05
)

# The rate of a line that ends "(X M rays/s)" or "(X M rays/s), ...".
rate_of() { sed -n 's/.*(\([0-9.]*\) M rays\/s).*/\1/p' <<<"$1"; }

# An LWS scene placing OBJECT N times on a square grid 800 units apart,
# each placement an item of its own: scripts/bench.sh --render's
# placement scenes.
placement_scene() {
  local n=$1 object=$2 side i
  side=$(awk -v n="$n" 'BEGIN { s = int(sqrt(n)); if (s * s < n) s++; print s }')
  printf 'LWSC\n2\n\nFirstFrame 1\nLastFrame 1\nFramesPerSecond 30\n\n'
  for ((i = 0; i < n; i++)); do
    printf 'LoadObject %s\nObjectMotion (unnamed)\n  9\n' "$object"
    printf '  1\n  %d 0 0 0 0 0\n' $(((i % side) * 800))
    printf '  1\n  0 0 0 0 0 0\n'
    printf '  1\n  %d 0 0 0 0 0\n' $((i / side * 800))
    printf '  1\n  0 0 0 0 0 0\n%.0s' 1 2 3
    printf '  1\n  1 0 0 0 0 0\n%.0s' 1 2 3
    printf '\n'
  done
}

# With --render, brelvix-render itself on two threads, three runs of each
# case: the engine model of assimp-testmodels (121,496 triangles, from its
# own camera) and the built-in scene, 960x320 at 16 samples a pixel, each
# ray with its shadow ray. Prints the program's camera rays per second,
# and beside each engine run Embree's own rate on the same frame
# (bench/embree_packets.cpp: 16-wide packets over 4x4 tiles, one shadow ray
# per hit, nothing else) and the ratio of the two. Then the engine model
# placed 1 and 400 times (480x160, 4 samples a pixel): the render's time,
# the whole run's wall time and its peak memory. Then the engine model at
# 960x540 per eye rendered at 1 sample a pixel and measured by the depth
# check (--parallax), three runs, with their times; then a 60-frame
# LightWave scene at 320x180 per eye, rendered at 1 sample a pixel and
# checked (--parallax, its advice included), three runs, with the ratio of
# their times (the aim: at most 1.5); then the engine model's load time
# read directly and through the loading process.
#     scripts/bench.sh --render
if [ "${1:-}" = --render ]; then
  scripts/setup.sh all
  cmake --preset release >/dev/null
  cmake --build --preset release -j "$(nproc)" --target brelvix brelvix-render brelvix_load_bench \
    brelvix_embree_packets
  out=$(mktemp -d)
  trap 'rm -rf "$out"' EXIT
  engine=/usr/share/assimp/models/glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb
  for run in 1 2 3; do
    for scene in "$engine" ""; do
      line=$(build/release/brelvix-render $scene --width 960 --height 320 --spp 16 \
        --threads 2 -o "$out/bench.png" | grep '^rendered')
      name=built-in
      [ -n "$scene" ] && name=engine
      echo "$name (run $run): $line"
      if [ -n "$scene" ]; then
        packets=$(build/release/brelvix_embree_packets "$engine")
        echo "engine (run $run): $packets"
        awk -v r="$(rate_of "$line")" -v e="$(rate_of "$packets")" \
          'BEGIN { printf "engine (run %s): renderer / Embree packets = %.2f\n", '"$run"', r / e }'
      fi
    done
  done
  # One object placed once and 400 times: what instances cost.
  for n in 1 400; do
    placement_scene "$n" "$engine" >"$out/placed-$n.lws"
    line=$(/usr/bin/time -f 'wall %e s, peak memory %M KB' -o "$out/time-$n" \
      build/release/brelvix-render "$out/placed-$n.lws" --width 480 --height 160 --spp 4 \
      --threads 2 -o "$out/placed.png" | grep '^rendered')
    echo "$n placement(s) of the engine, 480x160, 4 spp: $line; $(cat "$out/time-$n")"
  done
  # The depth check (--parallax) against a render of the same frame at one
  # sample a pixel, the engine model at 960 x 540 per eye; the aim is at most
  # three times the render's time. A frame over budget exits with 3.
  for run in 1 2 3; do
    rendered=$(build/release/brelvix-render "$engine" --width 1920 --height 540 --spp 1 \
      --threads 2 --StereoDistance 20 -o "$out/bench.png" | grep '^rendered')
    measured=$({ build/release/brelvix-render "$engine" --width 1920 --height 540 --threads 2 \
      --StereoDistance 20 --parallax "$out/map.png" || [ $? = 3 ]; } | grep '^measured')
    echo "engine 960x540 per eye (run $run): 1 spp $rendered; depth check $measured"
  done
  # A sequence: the LightWave scene's 60 frames rendered at one sample a
  # pixel, and checked with its maps and bracket chart. Process CPU time,
  # which a busy machine disturbs less than the wall clock.
  lws=/usr/share/assimp/models/LWS/move_xz_bezier.lws
  sequence=(--width 640 --height 180 --frames 1-60 --threads 2 --StereoDistance 0.08
    --StereoAngle -0.004 -q)
  TIMEFORMAT=%U
  for run in 1 2 3; do
    rendered=$( { time build/release/brelvix-render "$lws" "${sequence[@]}" --spp 1 \
      -o "$out/seq.png" >/dev/null 2>&1; } 2>&1)
    checked=$( { time build/release/brelvix-render "$lws" "${sequence[@]}" --screen-width 1.5 \
      --parallax "$out/seq-map.png" >/dev/null 2>&1 || [ $? = 3 ]; } 2>&1)
    ratio=$(awk -v c="$checked" -v r="$rendered" 'BEGIN { printf "%.2f", c / r }')
    echo "sequence 60 frames 320x180 per eye (run $run): 1 spp ${rendered} s CPU;" \
      "depth check ${checked} s CPU; ratio ${ratio}"
  done
  # Reading the engine model directly and through the loading process.
  build/release/brelvix_load_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
  exit 0
fi

# With --lens-outsider, the lens as a host built elsewhere meets it
# (bench/lens_outsider.c): plain C compiled with nothing but
# `-O2 -ffp-contract=off`, the module file loaded at run time, its ray
# called through the handler's pointer against an inline thin lens, best of
# 5 rounds taken block by block of 32768 rays (a busy machine interrupts a
# whole sweep more often than its blocks). First the native module with the
# system's cc, then the 64-bit
# Windows module with x86_64-w64-mingw32-gcc under 64-bit Wine. Extra
# arguments: the rounds, e.g. 25 on a busy machine.
#     scripts/bench.sh --lens-outsider [ROUNDS]
if [ "${1:-}" = --lens-outsider ]; then
  rounds=${2:-5}
  # The native build and the cross compilers; wine-run.sh names 64-bit Wine
  # when it is missing (32-bit Wine is not needed here).
  scripts/setup.sh native
  scripts/setup.sh release
  cmake --preset release >/dev/null
  cmake --build --preset release -j "$(nproc)" --target brelvix
  cc -O2 -ffp-contract=off -o build/release/lens_outsider bench/lens_outsider.c -ldl -lm
  echo "native: $(build/release/lens_outsider build/release/brelvix.so "$rounds")"
  cmake --preset windows64-release >/dev/null
  cmake --build --preset windows64-release -j "$(nproc)"
  x86_64-w64-mingw32-gcc -O2 -ffp-contract=off -o build/windows64-release/lens_outsider.exe \
    bench/lens_outsider.c
  prefix=$PWD/build/windows64-release/wine-prefix
  status=0
  line=$(cmake/wine-run.sh --win64 "$prefix" build/windows64-release/lens_outsider.exe \
    "Z:$PWD/build/windows64-release/brelvix.p" "$rounds") || status=$?
  echo "64-bit DLL under 64-bit Wine: $line"
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  exit "$status"
fi

if [ "${1:-}" != --windows ] && [ "${1:-}" != --windows64 ]; then
  scripts/setup.sh native
  cmake --preset release >/dev/null
  cmake --build --preset release -j "$(nproc)" --target brelvix brelvix_lens_bench
  # The ratios need the baseline in the same run: say so when a filter
  # leaves it out, rather than print none without a word.
  if listed=$(build/release/brelvix_lens_bench "$@" --benchmark_list_tests=true 2>/dev/null) &&
    ! grep -qx 'ThinLens/pointer' <<<"$listed"; then
    echo "bench: no ratios: the filter leaves out the baseline ThinLens/pointer" \
      "(keep it, e.g. --benchmark_filter='EvaluateRay|ThinLens/pointer')" >&2
  fi
  exec build/release/brelvix_lens_bench "${flags[@]}" "$@"
fi
mode=$1
shift
flags[3]=--benchmark_min_time=0.5

# Both Windows builds compile the one copy of the sources, kept with the
# 32-bit build's (the windows64-bench preset names it too).
benchmark_sources=build/windows-bench/_deps/benchmark
preset=windows-bench
[ "$mode" = --windows64 ] && preset=windows64-bench
build=build/$preset

# Unpacks Debian's source package of Google Benchmark into $benchmark_sources,
# with Debian's patches applied. Needs a deb-src entry for the release, which
# a fresh machine lacks: it is added here.
fetch_benchmark_sources() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "bench: fetching Google Benchmark's sources needs root (apt-get)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  if ! command -v dpkg-source >/dev/null 2>&1; then
    apt-get update -q >&2
    apt-get install -y -q dpkg-dev >&2
  fi
  if ! apt-cache showsrc benchmark 2>/dev/null | grep -q '^Package: benchmark$'; then
    local entry=/etc/apt/sources.list.d/brelvix-src.sources
    if [ ! -f "$entry" ]; then
      # The archive of this machine's own packages, for their sources too.
      local archive
      archive=$(apt-cache policy | awk '$3 == "bookworm/main" && $5 == "Packages" { print $2; exit }')
      if [ -z "$archive" ]; then
        echo "bench: no Debian archive for bookworm/main in apt's sources" >&2
        exit 1
      fi
      echo "bench: adding $entry (Debian's source packages)" >&2
      cat >"$entry" <<SOURCES
Types: deb-src
URIs: $archive
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    fi
    apt-get update -q >&2
  fi
  local download=build/windows-bench/_deps/download
  rm -rf "$download" "$benchmark_sources"
  mkdir -p "$download"
  (cd "$download" && apt-get source -q --download-only benchmark >&2)
  local dsc
  dsc=$(ls "$download"/benchmark_*.dsc)
  dpkg-source -x "$dsc" "$benchmark_sources" >&2
  rm -rf "$download"
}

scripts/setup.sh all
if [ ! -f "$benchmark_sources/CMakeLists.txt" ]; then
  fetch_benchmark_sources
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)" --target brelvix brelvix_lens_bench

# Wine in a prefix of this build's own, as the Windows tests run; its server
# is stopped after the run so that nothing stays behind.
prefix=$PWD/$build/wine-prefix
status=0
if [ "$mode" = --windows64 ]; then
  cmake/wine-run.sh --win64 "$prefix" "$build/brelvix_lens_bench.exe" "${flags[@]}" "$@" ||
    status=$?
elif wine32_decide && [ "$wine32_case" = works ]; then
  cmake/wine-run.sh "$prefix" "$build/brelvix_lens_bench.exe" "${flags[@]}" "$@" || status=$?
else
  # 32-bit Wine cannot run here (scripts/lib/wine32.sh): the program runs
  # under Wine on an emulated machine. Emulation changes what each
  # instruction costs, so its figures, ratios included, are no measure of
  # the module on a processor.
  echo "bench: $(wine32_line)" >&2
  notice="32-bit Wine cannot run here, so these figures come from an
emulated processor (scripts/wine-vm.sh): they do not measure brelvix.p's speed"
  echo "bench: $notice" >&2
  scripts/wine-vm.sh --carry "$build" cmake/wine-run.sh "$prefix" \
    "$build/brelvix_lens_bench.exe" "${flags[@]}" "$@" || status=$?
  echo "bench: $notice" >&2
fi
WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
exit "$status"
