#!/usr/bin/env bash
# Builds the release preset and runs the lens benchmarks: the ray evaluation
# (eye angle 0 and 2 degrees) and the per-frame call through the built module
# file, against a textbook thin-lens camera. Prints the table, then each ray
# case's ratio to the baseline from the same run (medians of the repetitions,
# which run interleaved so that a busy machine disturbs all cases alike).
# Extra arguments go to the benchmark program, e.g.
#     scripts/bench.sh --benchmark_filter='EvaluateRay|ThinLens'
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh native
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target brelvix brelvix_lens_bench
exec build/release/brelvix_lens_bench \
  --benchmark_repetitions=30 \
  --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true \
  --benchmark_min_time=0.05 \
  "$@"
