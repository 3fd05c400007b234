#!/usr/bin/env bash
# The main job: builds the module and the preview renderer, then renders the
# built-in scene through the module, loaded as the host loads it, to
# brelvix-render.png at the top of the repository and prints that name.
# Arguments go to brelvix-render: bash scripts/run.sh --VShift 0.15 -o up.png
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh native
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target brelvix brelvix-render
build/release/brelvix-render "$@"
