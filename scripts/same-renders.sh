#!/usr/bin/env bash
# Renders a fixed set of scenes with a built brelvix-render into a folder:
# the built-in scene (PNG, OpenEXR, anaglyph, a moving range of frames, the
# set-up file), the host's scene files, a glTF camera, and the depth check's
# maps, chart and reports. Every file written and every run's output and exit
# status land in the folder. Run once before a change and once after, then
# compare: a change that should not alter the pictures must leave every byte.
#
#     scripts/same-renders.sh make DIR [BUILD]     (BUILD: build/release)
#     scripts/same-renders.sh compare DIR1 DIR2
#
# The runs are quiet (no timings) and deterministic for a given build.
set -euo pipefail
cd "$(dirname "$0")/.."

models=/usr/share/assimp/models
own=$PWD/tests/lightwave/scenes

make_renders() {
  local dir=$1 build=${2:-build/release}
  local program
  program=$(realpath "$build/brelvix-render")
  mkdir -p "$dir"
  dir=$(realpath "$dir")
  local small=(--width 96 --height 32 --spp 2 --threads 2 --quiet)
  local runs=(
    "builtin|${small[*]} -o builtin.png"
    "builtin-exr|${small[*]} -o builtin.exr"
    "anaglyph|${small[*]} --anaglyph --f-stop 2.8 -o anaglyph.png"
    "moving|${small[*]} --move 0.1,0,0.2 --motion-steps 2 --frames 0-2 -o moving.png"
    "setup|${small[*]} --set StereoDistance=0.07 --save-scene setup.bsc -o setup.png"
    "lws|${small[*]} $models/LWS/move_x.lws --frames 58-60 -o lws.png"
    "lws-spline|${small[*]} $models/LWS/move_xz_spline.lws --frame 30 -o spline.exr"
    "own-format2|${small[*]} $own/format2.lws -o own2.png"
    "own-bones|${small[*]} $own/bones.lws -o bones.png"
    "gltf|${small[*]} $models/glTF2/cameras/Cameras.gltf -o gltf.png"
    "parallax|${small[*]} --parallax map.png --parallax-report report.json"
    "parallax-frames|${small[*]} --frames 0-1 --move 0,0,0.3 --parallax maps.png --parallax-report report.csv --budget -2,3"
    "parallax-lws|${small[*]} $models/LWS/move_x.lws --frame 60 --parallax lwsmap.png --screen-width 4"
  )
  local run name arguments
  for run in "${runs[@]}"; do
    name=${run%%|*}
    arguments=${run#*|}
    # shellcheck disable=SC2086 # the arguments are words
    (cd "$dir" && set +e && "$program" $arguments >"$name.out" 2>"$name.err"
      echo $? >"$name.status")
  done
  echo "same-renders: $(find "$dir" -type f | wc -l) files in $dir"
}

case ${1:-} in
  make) make_renders "$2" "${3:-}" ;;
  compare)
    if diff -r "$2" "$3"; then
      echo "same-renders: $2 and $3 hold the same $(find "$2" -type f | wc -l) files, byte for byte"
    else
      echo "same-renders: $2 and $3 differ" >&2
      exit 1
    fi
    ;;
  *) echo "usage: $0 make DIR [BUILD] | compare DIR1 DIR2" >&2; exit 2 ;;
esac
