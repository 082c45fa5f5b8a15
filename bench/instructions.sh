#!/bin/sh
# Instructions per frame, plug-in against floor, counted by callgrind: unlike the wall clock of a
# shared machine, the count is the same on every run.
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
  --callgrind-out-file="$dir/out" "$bench" --instructions="$frames" >/dev/null 2>"$dir/log" || {
  cat "$dir/log" >&2
  exit 1
}

# Each dump names its label in its "desc: Trigger" line and its total in "summary:".
for dump in "$dir"/out.*; do
  label=$(sed -n 's/^desc: Trigger: Client Request: //p' "$dump")
  total=$(sed -n 's/^summary: //p' "$dump")
  echo "$label $total"
done | awk -v frames="$frames" '
  { split($1, part, "/"); count[part[2] "/" part[3]] = $2 / frames; seen[part[2]] = 1 }
  END {
    printf "\nInstructions per frame (callgrind, %d frames each):\n", frames
    printf "%-7s %14s %14s %7s %7s\n", "frame", "plug-in", "floor", "ratio", "target"
    n = split("idle scan brawl", order, " ")
    for (i = 1; i <= n; ++i) {
      f = order[i]
      if (!(f in seen)) continue
      target = f == "scan" ? 1.25 : 1.10
      ratio = count[f "/plugin"] / count[f "/floor"]
      printf "%-7s %14.0f %14.0f %7.3f %5s%.2f  %s\n", f, count[f "/plugin"], count[f "/floor"],
             ratio, "<=", target, ratio <= target ? "ok" : "MISSED"
    }
  }'
