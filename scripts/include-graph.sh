#!/usr/bin/env bash
# The folder include graph, derived from the #include lines: which top-level
# folder uses which. Prints one line per folder that holds C++ files,
#
#     module -> instance interface lens panel shared
#
# and fails when the graph has a cycle.
#
#     scripts/include-graph.sh [--layout FILE] [--except FILE=HEADER]...
#
# The folders of tools/ get a graph of their own, printed the same way
# (`tools/render -> tools/output tools/shot ...`).
#
# --layout also fails when the layout table of FILE does not show the same
# graphs: each row of a folder (`name/` or `tools/name/` in its first column)
# must list, in its last column, exactly the folders it uses (`name/` each,
# or "nothing"), and a folder of tools/ may use only those whose rows come
# before its own: the table's order is the order they build on each other.
# (--readme is the same option under its earlier name.)
# --except leaves one include line out of the graph: FILE (from the top of
# the repository) including HEADER; it is reported, never hidden.
set -euo pipefail
cd "$(dirname "$0")/.."

readme=
exceptions=()
while (($#)); do
  case $1 in
    --readme | --layout) readme=$2; shift 2 ;;
    --except) exceptions+=("$2"); shift 2 ;;
    *) echo "include-graph: unknown argument $1" >&2; exit 2 ;;
  esac
done

# Top-level folders with C++ sources, the build trees left out.
folders=$(find . \( -path ./build -o -path './.*' \) -prune -o \
  -type f \( -name '*.h' -o -name '*.cpp' \) -print | awk -F/ 'NF > 2 { print $2 }' | sort -u)

# "file header" for every quoted include of a header in another folder.
includes=$(for folder in $folders; do
  grep -rHE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]+/[^"]+"' \
    --include='*.h' --include='*.cpp' "$folder" |
    sed -E 's/^([^:]+):[^"]*"([^"]+)".*/\1 \2/'
done)

edges=
while read -r file header; do
  [[ -n $file ]] || continue
  for exception in "${exceptions[@]}"; do
    if [[ $exception == "$file=$header" ]]; then
      echo "include-graph: left out: $file includes $header" >&2
      continue 2
    fi
  done
  from=${file%%/*}
  to=${header%%/*}
  [[ $from != "$to" ]] && edges+="$from $to"$'\n'
done <<<"$includes"
edges=$(sort -u <<<"$edges" | grep -v '^$' || true)

graph=$(for folder in $folders; do
  used=$(awk -v f="$folder" '$1 == f { print $2 }' <<<"$edges" | tr '\n' ' ' | sed 's/ $//')
  echo "$folder -> ${used:-nothing}"
done)
echo "$graph"

# The same within tools/: "tools/from tools/to" for each include of a header
# in another folder of tools/ (the programs' own files at tools/ left out).
tool_folders=$(find tools -mindepth 2 -type f \( -name '*.h' -o -name '*.cpp' \) |
  awk -F/ '{ print $1 "/" $2 }' | sort -u)
tool_edges=$(for folder in $tool_folders; do
  grep -rhoE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"tools/[^/"]+/' \
    --include='*.h' --include='*.cpp' "$folder" |
    sed -E 's#.*"(tools/[^/"]+)/#'"$folder"' \1#'
done | awk '$1 != $2' | sort -u)
tool_graph=$(for folder in $tool_folders; do
  used=$(awk -v f="$folder" '$1 == f { print $2 }' <<<"$tool_edges" | tr '\n' ' ' | sed 's/ $//')
  echo "$folder -> ${used:-nothing}"
done)
echo "$tool_graph"

status=0
if [[ -n $tool_edges ]] && ! loops=$(tsort <<<"$tool_edges" 2>&1 >/dev/null) ||
  [[ -n ${loops:-} ]]; then
  echo "include-graph: the folders of tools/ include each other in a cycle:" >&2
  echo "$loops" >&2
  status=1
fi
# tsort reports a loop on standard error.
if ! loops=$(tsort <<<"$edges" 2>&1 >/dev/null) || [[ -n $loops ]]; then
  echo "include-graph: the folders include each other in a cycle:" >&2
  echo "$loops" >&2
  status=1
fi

if [[ -n $readme ]]; then
  for folder in $folders; do
    row=$(grep -E "^\| \`$folder/\`" "$readme" || true)
    if [[ -z $row ]]; then
      echo "include-graph: $readme has no layout row for $folder/" >&2
      status=1
      continue
    fi
    last=$(awk -F'|' '{ print $(NF - 1) }' <<<"$row")
    listed=$( (grep -oE '`[a-z_]+/`' <<<"$last" || true) | tr -d '`/' | sort | tr '\n' ' ' | sed 's/ $//')
    expected=$(awk -v f="$folder" '$1 == f { print $2 }' <<<"$edges" | sort | tr '\n' ' ' |
      sed 's/ $//')
    if [[ $listed != "$expected" ]]; then
      echo "include-graph: $readme says $folder/ uses '${listed:-nothing}'," \
        "its includes say '${expected:-nothing}'" >&2
      status=1
    fi
  done
fi

if [[ -n $readme ]]; then
  for folder in $tool_folders; do
    row=$(grep -nE "^\| \`$folder/\`" "$readme" || true)
    if [[ -z $row ]]; then
      echo "include-graph: $readme has no layout row for $folder/" >&2
      status=1
      continue
    fi
    line=${row%%:*}
    last=$(awk -F'|' '{ print $(NF - 1) }' <<<"${row#*:}")
    listed=$( (grep -oE '`tools/[a-z_]+/`' <<<"$last" || true) | tr -d '`' | sed 's#/$##' |
      sort | tr '\n' ' ' | sed 's/ $//')
    expected=$(awk -v f="$folder" '$1 == f { print $2 }' <<<"$tool_edges" | sort |
      tr '\n' ' ' | sed 's/ $//')
    if [[ $listed != "$expected" ]]; then
      echo "include-graph: $readme says $folder/ uses '${listed:-nothing}'," \
        "its includes say '${expected:-nothing}'" >&2
      status=1
    fi
    for used in $expected; do
      used_line=$(grep -nE "^\| \`$used/\`" "$readme" | cut -d: -f1 || true)
      if [[ -n $used_line && $used_line -gt $line ]]; then
        echo "include-graph: $folder/ uses $used/, which $readme puts after it" >&2
        status=1
      fi
    done
  done
fi
exit $status
