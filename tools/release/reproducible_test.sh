#!/usr/bin/env bash
# Two clean builds of the same commit, in clones at two different paths, must give the same
# bytes: Fraywick.asi, Fraywick.pdb, Fraywick-diag.asi, Fraywick-diag.pdb, the release zips and
# SHA256SUMS. Each clone configures the windows preset and builds the release target only.
#
#   tools/release/reproducible_test.sh [WORK_DIR]     (default: build/reproducible)
#
# It builds the commit checked out (HEAD); uncommitted changes are not in the clones.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
work=${1:-$root/build/reproducible}
commit=$(git -C "$root" rev-parse HEAD)
if [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
  echo "note: the clones build commit ${commit:0:12}; the uncommitted changes are not in them"
fi

rm -rf "$work"
# Different lengths and depths, so that any path that reaches the output shows.
clones=("$work/a/fraywick" "$work/second-clone/at/another/depth/fw")
for clone in "${clones[@]}"; do
  git clone -q --no-checkout "$root" "$clone"
  git -C "$clone" checkout -q --detach "$commit"
  log=$clone.log
  echo "building the release in $clone"
  if ! (cd "$clone" && cmake --preset windows && cmake --build build/windows --target release -j2) \
    >"$log" 2>&1; then
    tail -30 "$log"
    echo "FAILED: the build in $clone failed (log: $log)"
    exit 1
  fi
done

one=${clones[0]}/build/windows
two=${clones[1]}/build/windows
files=(bin/Fraywick.asi bin/Fraywick.pdb bin/Fraywick-diag.asi bin/Fraywick-diag.pdb)
for file in "$one"/dist/*; do
  files+=("dist/$(basename "$file")")
done
[ ${#files[@]} -ge 6 ] || { echo "FAILED: no release zip and SHA256SUMS in $one/dist"; exit 1; }

different=0
for file in "${files[@]}"; do
  if cmp -s "$one/$file" "$two/$file"; then
    echo "same bytes: $file ($(stat -c %s "$one/$file") bytes)"
  else
    different=$((different + 1))
    echo "DIFFERENT: $file; the first differing bytes (offset, octal values):"
    cmp -l "$one/$file" "$two/$file" 2>&1 | head -5 || true
  fi
done
if [ $different -ne 0 ]; then
  echo "FAILED: $different of ${#files[@]} files differ between the two clones"
  echo "reproducible: $((${#files[@]} - different)) passed, $different failed"
  exit 1
fi
rm -rf "$work"
echo "two clones of ${commit:0:12} build the same release bytes"
echo "reproducible: ${#files[@]} passed, 0 failed"
