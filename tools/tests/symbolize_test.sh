#!/usr/bin/env bash
# The crash-log symbolizer against the shipped build (Fraywick.asi and its PDB):
#
#   symbolize_test.sh lines BIN_DIR ZIP     a crash log with return addresses inside four
#                                           functions gives each function, its own source file
#                                           and a line inside its body; the release zip of the
#                                           same build gives the same
#   symbolize_test.sh refuses BIN_DIR PDB   the same module beside the PDB of another build is
#                                           refused, with the reason, and no line is printed
#
# The addresses are found as a crash logger finds them: the function's start from the PDB's
# publics, then the return address of the first call it makes, the kind of address a stack
# trace is made of.
set -euo pipefail

mode=$1
bin=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
symbolize=$root/tools/symbolize.sh
llvm=${FRAYWICK_LLVM_BIN:-$("$root/tools/toolchain.sh" --value LLVM_BIN)}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

if [ "$mode" = refuses ]; then
  cp "$bin/Fraywick.asi" "$work/"
  cp "$3" "$work/Fraywick.pdb"
  if "$symbolize" --module "$work/Fraywick.asi" >"$work/out" 2>"$work/err" \
    <<<"crash at Fraywick.asi+0x1010"; then
    fail "the PDB of another build was taken"
  fi
  grep -q "is not the PDB of this Fraywick.asi" "$work/err" ||
    fail "no reason given: $(cat "$work/err")"
  ! grep -q ' at ' "$work/out" || fail "lines were printed: $(cat "$work/out")"
  [ $failures -eq 0 ] && echo "refused: $(cat "$work/err")"
  exit $((failures > 0))
fi

# function | the file that defines it
cases="ScriptEntry src/plugin/script.cpp
startBrawl src/brawl/brawl.cpp
loadSettings src/settings/settings.cpp
RecordKeyMessage src/plugin/keyboard.cpp"

image_base=$("$llvm/llvm-readobj" --file-headers "$bin/Fraywick.asi" |
  sed -n 's/.*ImageBase: \(0x[0-9A-F]*\)/\1/p')
publics=$("$llvm/llvm-pdbutil" dump -publics "$bin/Fraywick.pdb")
sections=$("$llvm/llvm-pdbutil" dump -section-headers "$bin/Fraywick.pdb")

while read -r function file; do
  # `_ZN8fraywick11ScriptEntryEv`, then "flags = function, addr = 0001:0992"
  address=$(grep -A1 -E "\`_ZN8fraywick${#function}${function}E" <<<"$publics" |
    sed -n 's/.*flags = function, addr = \([0-9]*\):\([0-9]*\)$/\1 \2/p' | head -1 || true)
  [ -n "$address" ] || { fail "$function is not among the PDB's publics"; continue; }
  read -r section offset <<<"$address"
  section_rva=$(awk -v n="#$((10#$section))" '/SECTION HEADER #/ { s = $NF }
    s == n && /virtual address/ { print $1; exit }' <<<"$sections")
  start=$((image_base + 0x$section_rva + 10#$offset))
  return_address=$("$llvm/llvm-objdump" -d --no-show-raw-insn --start-address=$start \
    --stop-address=$((start + 0x400)) "$bin/Fraywick.asi" |
    grep -A1 -m1 -E '^ *[0-9a-f]+:\s+call' | sed -n '2s/^ *\([0-9a-f]*\):.*/\1/p' || true)
  [ -n "$return_address" ] || { fail "$function makes no call in its first 1 KiB"; continue; }
  printf '%s\n' "$function $file Fraywick.asi+$(printf '0x%X' $((0x$return_address - image_base)))"
done <<<"$cases" >"$work/cases"

# One log, as a crash logger writes it, symbolized in one run.
awk '{ print "  frame " NR ": " $3 }' "$work/cases" >"$work/log"
"$symbolize" --module "$bin/Fraywick.asi" "$work/log" >"$work/out" || fail "the symbolizer failed"
cat "$work/out"
# From the zip, named by a relative path as a maintainer would type it.
(cd "$(dirname "$3")" && "$symbolize" --zip "./$(basename "$3")" "$work/log") >"$work/from-zip" ||
  fail "the symbolizer failed on $3"
cmp -s "$work/out" "$work/from-zip" || fail "the release zip gives other frames: $(cat "$work/from-zip")"

while read -r function file address; do
  # The frame the address lies in is the last one listed under it; inlined ones come before.
  frame=$(awk -v a="  $address" '$0 == a { take = 1; next } take && /^    / { last = $0; next }
    take { exit } END { print last }' "$work/out")
  expected_name="fraywick::${function}("
  [[ $frame == *"$expected_name"* ]] || fail "$address: '$frame' is not in $function"
  location=${frame##* at }
  [ "${location%:*}" = "$file" ] || fail "$address: $function is defined in $file, not ${location%:*}"
  line=${location##*:}
  # The body: from the line with the brace that opens it to the first closing brace in column 1.
  signature=$(grep -n -E "^[A-Za-z].* ${function}\(" "$root/$file" | head -1 | cut -d: -f1)
  opening=$(awk -v from="$signature" 'NR >= from && /\{$/ { print NR; exit }' "$root/$file")
  closing=$(awk -v from="$opening" 'NR > from && /^}/ { print NR; exit }' "$root/$file")
  if ! [[ $line =~ ^[0-9]+$ ]] || ((line <= opening || line > closing)); then
    fail "$address: line $line is not inside the body of $function ($file:$opening-$closing)"
  fi
done <"$work/cases"

[ "$(wc -l <"$work/cases")" -eq 4 ] || fail "not every function was found"
exit $((failures > 0))
