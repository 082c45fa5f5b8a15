#!/bin/sh
# Instructions per frame, plug-in against floor, counted by callgrind: unlike the wall clock of a
# shared machine, the count is the same on every run. Beside them, the plug-in's allocations per
# frame, which must be none on an idle frame.
#
# usage: bench/instructions.sh path/to/fraywick_bench [frames]
set -eu

bench=$1
frames=${2:-20}
if ! command -v valgrind >/dev/null 2>&1; then
  echo "valgrind is not installed: no instruction counts" >&2
  exit 0
fi

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# Self-contained dumps (no name compression across files), one per labelled client request.
valgrind --tool=callgrind --compress-strings=no --compress-pos=no \
  --callgrind-out-file="$dir/out" "$bench" --instructions="$frames" >"$dir/allocs" 2>"$dir/log" || {
  cat "$dir/log" >&2
  exit 1
}

# Each dump names its label in its "desc: Trigger" line and its total in "summary:".
{
  for dump in "$dir"/out.*; do
    label=$(sed -n 's/^desc: Trigger: Client Request: //p' "$dump")
    total=$(sed -n 's/^summary: //p' "$dump")
    echo "$label $total"
  done
  cat "$dir/allocs"
} | awk -v frames="$frames" -v bound=1.25 '
  $1 == "allocs" { allocs[$2] = $3; next }
  { split($1, part, "/"); count[part[2] "/" part[3]] = $2 / frames; seen[part[2]] = 1 }
  END {
    printf "\nInstructions per frame (callgrind, %d frames each):\n", frames
    printf "%-7s %14s %14s %7s %7s %13s\n", "frame", "plug-in", "floor", "ratio", "bound",
           "allocs/frame"
    n = split("idle scan brawl", order, " ")
    for (i = 1; i <= n; ++i) {
      f = order[i]
      if (!(f in seen)) continue
      ratio = count[f "/plugin"] / count[f "/floor"]
      ok = ratio <= bound && (f != "idle" || (f in allocs && allocs[f] == 0))
      printf "%-7s %14.0f %14.0f %7.3f %5s%.2f %13.2f  %s\n", f, count[f "/plugin"],
             count[f "/floor"], ratio, "<=", bound, allocs[f], ok ? "ok" : "MISSED"
    }
  }'
