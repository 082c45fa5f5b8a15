#!/usr/bin/env bash
# Reads a crash log and names the function and source line behind each address of the plug-in
# in it, as crash loggers print them: relative to the module, Fraywick.asi+0x1A2B0.
#
#   tools/symbolize.sh [--module Fraywick.asi] [--pdb Fraywick.pdb] [LOG...]
#   tools/symbolize.sh --zip dist/Fraywick-<version>.zip crash.log
#
# It prints every line of the logs (standard input without any) as it is, and after a line with
# addresses, for each of them the frames at that address, innermost first: functions inlined
# there, then the function the address lies in, each with file:line. The module and its PDB
# come from the release zip the player installed (--zip), from the files named, or else from
# build/windows/bin. The PDB must be the one the module was linked with, by the GUID and age
# the module names: any other PDB is refused, since its lines would be wrong.
#
# LLVM's own tools do the reading: llvm-readobj (the module's debug directory), llvm-pdbutil (the
# PDB's identity) and llvm-symbolizer (addresses to lines, inlined frames included).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
# The build's own LLVM (tools/toolchain.sh), unless the caller names one.
llvm=${FRAYWICK_LLVM_BIN:-$("$root/tools/toolchain.sh" --value LLVM_BIN)}
module=""
pdb=""
zip=""

usage() {
  sed -n '5,6p' "$0" | sed 's/^# *//' >&2
  exit 2
}
fail() {
  echo "symbolize: $*" >&2
  exit 1
}

while [ $# -gt 0 ]; do
  case $1 in
    --module) module=${2:?}; shift 2 ;;
    --pdb) pdb=${2:?}; shift 2 ;;
    --zip) zip=${2:?}; shift 2 ;;
    -h | --help) usage ;;
    --) shift; break ;;
    -*) usage ;;
    *) break ;;
  esac
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ -n "$zip" ]; then
  [ -f "$zip" ] || fail "no such zip: $zip"
  zip=$(cd "$(dirname "$zip")" && pwd)/$(basename "$zip")
  mkdir "$work/zip"
  (cd "$work/zip" && cmake -E tar xf "$zip")
  module=${module:-$work/zip/Fraywick.asi}
  pdb=${pdb:-$work/zip/Fraywick.pdb}
fi
module=${module:-$root/build/windows/bin/Fraywick.asi}
pdb=${pdb:-$(dirname "$module")/Fraywick.pdb}
[ -f "$module" ] || fail "no module at $module (build it with 'make windows', or name it with --module)"
[ -f "$pdb" ] || fail "no PDB at $pdb (name it with --pdb)"

# The PDB the module was linked with: its file name, GUID and age, from the debug directory.
# The module holds the GUID as 16 bytes. llvm-readobj 19 writes them as a GUID; 16 lists the
# bytes, and written as a GUID their first three fields are little-endian.
directory=$("$llvm/llvm-readobj" --file-headers --coff-debug-directory "$module") ||
  fail "$module is not a module llvm-readobj can read"
wanted_guid=$(sed -n 's/.*PDBGUID: \({[0-9A-F-]*}\).*/\1/p' <<<"$directory")
if [ -z "$wanted_guid" ]; then
  read -r -a b <<<"$(sed -n 's/.*PDBGUID: (\(.*\)).*/\1/p' <<<"$directory")"
  [ ${#b[@]} -eq 16 ] || fail "$module names no PDB: it was built without one"
  wanted_guid="{${b[3]}${b[2]}${b[1]}${b[0]}-${b[5]}${b[4]}-${b[7]}${b[6]}-${b[8]}${b[9]}-"
  wanted_guid+="${b[10]}${b[11]}${b[12]}${b[13]}${b[14]}${b[15]}}"
fi
wanted_age=$(sed -n 's/.*PDBAge: \([0-9]*\).*/\1/p' <<<"$directory")
pdb_name=$(sed -n 's/.*PDBFileName: \(.*\)$/\1/p' <<<"$directory")
image_size=$(sed -n 's/.*SizeOfImage: \([0-9]*\)$/\1/p' <<<"$directory")

summary=$("$llvm/llvm-pdbutil" dump -summary "$pdb" 2>/dev/null) || fail "$pdb is not a PDB"
guid=$(sed -n 's/^ *GUID: \(.*\)$/\1/p' <<<"$summary")
age=$(sed -n 's/^ *Age: \([0-9]*\)$/\1/p' <<<"$summary")
if [ "$guid" != "$wanted_guid" ] || [ "$age" != "$wanted_age" ]; then
  fail "$pdb is not the PDB of this $(basename "$module"): the module was linked with PDB" \
    "$wanted_guid age $wanted_age, this one is $guid age $age, and its lines would be wrong." \
    "Take the Fraywick.pdb of the same release (or build) as the module."
fi

# llvm-symbolizer looks for the PDB beside the module, under the name the module gives it.
ln -s "$(cd "$(dirname "$module")" && pwd)/$(basename "$module")" "$work/Fraywick.asi"
ln -s "$(cd "$(dirname "$pdb")" && pwd)/$(basename "$pdb")" "$work/$pdb_name"

cat -- "$@" >"$work/log"
# Module-relative offsets, the one form that does not depend on where the module was loaded.
pattern='fraywick\.asi\+(0x)?[0-9a-f]+'
grep -oiE "$pattern" "$work/log" | sed -E 's/.*\+(0[xX])?/0x/' | sort -u >"$work/addresses" || true

# One block per address: a function line and a file:line:column line per frame, then an empty
# line. Sources of the plug-in stand in the PDB under the root the build gives them (C:\fraywick,
# src/CMakeLists.txt); they are shown relative to the checkout.
declare -A frames
if [ -s "$work/addresses" ]; then
  "$llvm/llvm-symbolizer" --obj="$work/Fraywick.asi" --relative-address --inlines --demangle \
    <"$work/addresses" >"$work/symbols"
  exec 3<"$work/symbols"
  while read -r address; do
    text=""
    while IFS= read -r function <&3 && [ -n "$function" ]; do
      IFS= read -r location <&3
      location=${location%:*}
      location=${location#'C:\fraywick\'}
      # Every frame but the last was inlined into the one after it.
      [ -z "$text" ] || text+=" (inlined)"$'\n'
      text+="    ${function} at ${location//\\//}"
    done
    if ((address >= image_size)); then
      text="    outside $(basename "$module"), which is $(printf '0x%X' "$image_size") bytes:"
      text+=" a log of another version?"
    fi
    frames[$address]=${text:+$text$'\n'}
  done <"$work/addresses"
  exec 3<&-
fi

while IFS= read -r line || [ -n "$line" ]; do
  printf '%s\n' "$line"
  for found in $(grep -oiE "$pattern" <<<"$line" || true); do
    address=$(sed -E 's/.*\+(0[xX])?/0x/' <<<"$found")
    printf '  %s\n%s' "$found" "${frames[$address]}"
  done
done <"$work/log"
