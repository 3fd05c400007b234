#!/usr/bin/env bash
# scripts/include-graph.sh against layout tables made wrong on purpose: the
# tools' folders out of their order, a use left out of a row, a row missing.
# Each must fail with its own message (brelvix_include_graph runs the real one).
set -euo pipefail
cd "$(dirname "$0")/../.."
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

expect_failure() {
  local name=$1 says=$2
  if bash scripts/include-graph.sh --layout "$scratch/$name.md" >/dev/null 2>"$scratch/$name.err"; then
    echo "include-graph passed a layout with $name" >&2
    exit 1
  fi
  if ! grep -qF -- "$says" "$scratch/$name.err"; then
    echo "include-graph did not say '$says' for $name:" >&2
    cat "$scratch/$name.err" >&2
    exit 1
  fi
}

# The output row moved below the render row.
awk '/^\| `tools\/output\/`/ { held = $0; next }
     { print } /^\| `tools\/render\/`/ { print held }' docs/layout.md >"$scratch/order.md"
expect_failure order "tools/render/ uses tools/output/, which $scratch/order.md puts after it"

# The shot row without its use of the output folder.
sed -E '/^\| `tools\/shot\/`/ s#`tools/output/`, ##' docs/layout.md >"$scratch/uses.md"
expect_failure uses "says tools/shot/ uses 'tools/lightwave tools/world'"

# No row for the command line's folder.
grep -v '^| `tools/cli/`' docs/layout.md >"$scratch/row.md"
expect_failure row "has no layout row for tools/cli/"
echo "include-graph: each wrong layout fails"
