#!/usr/bin/env bash
# The main job: builds the module and the preview renderer, then renders the
# built-in scene through the module, loaded as the host loads it, to
# brelvix-render.png at the top of the repository and prints that name.
# Arguments go to brelvix-render: bash scripts/run.sh --VShift 0.15 -o up.png
set -euo pipefail
cd "$(dirname "$0")/.."

# Only what this job needs (no Wine, no cross compiler), with apt's update
# retried and a broken index of the mirror no obstacle (scripts/setup.sh).
scripts/setup.sh native
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target brelvix brelvix-render
build/release/brelvix-render "$@"
