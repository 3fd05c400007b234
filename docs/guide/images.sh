#!/usr/bin/env bash
# Renders the user guide's pictures with the preview renderer of a release
# build (bash scripts/run.sh builds it) into docs/guide/images/. The pictures
# are kept in the repository, so that a release needs no rendering.
#
# A single view is the red/cyan composite of two eyes 0 m apart: the same
# view twice, so the composite has the view's own colours.
set -euo pipefail
cd "$(dirname "$0")/../.."

render=build/release/brelvix-render
out=docs/guide/images
single=(--StereoDistance 0 --anaglyph)
size=(--width 480 --height 160 --spp 64 -q)

"$render" "${size[@]}" "${single[@]}" -o "$out/level.png"
"$render" "${size[@]}" "${single[@]}" --target 0,2.5,6 -o "$out/tilted.png"
"$render" "${size[@]}" "${single[@]}" --VShift 0.3 -o "$out/vertical-shift.png"
"$render" "${size[@]}" --no-dof --StereoDistance 0.2 -o "$out/stereo-pair.png"
"$render" "${size[@]}" --no-dof --StereoDistance 0.2 --StereoAngle -0.0454 -o "$out/stereo-converged.png"
"$render" "${size[@]}" "${single[@]}" --focal-distance 1.2 -o "$out/focus-near.png"
"$render" "${size[@]}" "${single[@]}" --focal-distance 5.5 -o "$out/focus-far.png"
"$render" "${size[@]}" "${single[@]}" --focal-distance 5.5 --f-stop 8 -o "$out/focus-far-f8.png"
# The depth check's map of a converged pair on a television; it exits with 3,
# the frame being over budget, as the guide says.
"$render" --width 480 --height 160 -q --StereoDistance 0.03 --StereoAngle -0.0068 \
  --screen-width 1.5 --parallax "$out/parallax-map.png" >/dev/null || [ $? = 3 ]
