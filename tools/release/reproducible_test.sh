#!/usr/bin/env bash
# Two clean builds of the same commit, in clones at two different paths, must give the same
# bytes: Fraywick.asi, Fraywick.pdb, Fraywick-diag.asi, Fraywick-diag.pdb, Fraywick-explain.exe,
# both release zips, each file inside them, and SHA256SUMS. Each clone configures the windows
# preset and builds the release target only. Every file is named below; one missing from either
# clone fails the test.
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

# The version in words the commit gives (cmake/Version.cmake), worked out here: project()'s
# version, and the commit unless it is that version's tag.
numeric=$(sed -n 's/^project(Fraywick VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")
[ -n "$numeric" ] || { echo "FAILED: no project(Fraywick VERSION ...) in CMakeLists.txt"; exit 1; }
if [ "$(git -C "$root" rev-parse -q --verify "refs/tags/v$numeric^{commit}")" = "$commit" ]; then
  version=$numeric
else
  version=$numeric-dev+${commit:0:12}
fi
player_zip=Fraywick-$version.zip
diagnostic_zip=Fraywick-$version-diagnostic.zip
player_entries=(Fraywick.asi Fraywick.pdb Fraywick.ini Fraywick-README.txt Fraywick-BUILDINFO.txt
  Fraywick-LICENSE.txt)
diagnostic_entries=(Fraywick-diag.asi Fraywick-diag.pdb Fraywick-explain.exe
  Fraywick-diag-README.txt Fraywick-diag-BUILDINFO.txt Fraywick-LICENSE.txt)

one=${clones[0]}/build/windows
two=${clones[1]}/build/windows
files=(bin/Fraywick.asi bin/Fraywick.pdb bin/Fraywick-diag.asi bin/Fraywick-diag.pdb
  bin/Fraywick-explain.exe "dist/$player_zip" "dist/$diagnostic_zip" dist/SHA256SUMS)

# FOLDER must hold exactly the files named after it.
holds_exactly() {
  local folder=$1 held expected
  shift
  held=$(cd "$folder" && find . -mindepth 1 -printf '%P\n' | sort)
  expected=$(printf '%s\n' "$@" | sort)
  [ "$held" = "$expected" ] || {
    echo "FAILED: $folder holds [${held//$'\n'/ }], not [${expected//$'\n'/ }]"
    exit 1
  }
}
# Each zip unpacked beside it in both clones, so that a zip that differs shows which of its
# files do.
unpack() {
  local zip=$1 build
  shift
  for build in "$one" "$two"; do
    rm -rf "$build/unpacked/$zip"
    mkdir -p "$build/unpacked/$zip"
    (cd "$build/unpacked/$zip" && cmake -E tar xf "$build/dist/$zip")
    holds_exactly "$build/unpacked/$zip" "$@"
  done
  for entry in "$@"; do
    files+=("unpacked/$zip/$entry")
  done
}
for build in "$one" "$two"; do
  holds_exactly "$build/dist" "$player_zip" "$diagnostic_zip" SHA256SUMS
done
unpack "$player_zip" "${player_entries[@]}"
unpack "$diagnostic_zip" "${diagnostic_entries[@]}"

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
