#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset: clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time, starting from
# a copy of its committed seed corpus. Fails on any finding: a crash, a
# sanitizer report, a leak, a broken property or a timeout.
# Usage: scripts/fuzz.sh [seconds per target, default 30]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
targets=(scene frame panel lws lwo object)
build=build/fuzz

scripts/setup.sh all
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

# A sanitizer report ends the run with a non-zero status; libFuzzer keeps the
# input that caused it under findings/.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

status=0
summary=()
for target in "${targets[@]}"; do
  corpus=$build/corpus/$target
  findings=$build/findings/$target
  log=$build/fuzz-$target.log
  rm -rf "$corpus" "$findings"
  mkdir -p "$corpus" "$findings"
  cp fuzz/corpus/"$target"/* "$corpus"/
  echo "==> fuzz $target for ${seconds}s" >&2
  if "$build/brelvix_fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" >"$log" 2>&1; then
    result=ok
  else
    result=FAILED
    status=1
    tail -n 60 "$log" >&2
  fi
  executions=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
  found=$(find "$findings" -type f | wc -l)
  summary+=("$(printf '%-6s %-6s executions %10s  corpus %5s  findings %s' "$target" "$result" \
    "${executions:-?}" "$(find "$corpus" -type f | wc -l)" "$found")")
done

printf '%s\n' "${summary[@]}" >&2
if [ "$status" -ne 0 ]; then
  echo "fuzz: a target failed; the inputs are in $build/findings/, the logs in $build/fuzz-*.log" >&2
fi
exit "$status"
