#!/usr/bin/env bash
# The main job: builds the module and its tools, then loads the module
# through the stand-in host and shows what the host finds there.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh native
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target brelvix brelvix-info
build/release/brelvix-info build/release/brelvix.so
