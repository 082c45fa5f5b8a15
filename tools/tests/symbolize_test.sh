#!/usr/bin/env bash
# The crash-log symbolizer against the shipped build and the diagnostic one (Fraywick.asi,
# Fraywick-diag.asi and their PDBs):
#
#   symbolize_test.sh lines BIN_DIR ZIP DIAGNOSTIC_ZIP
#       return addresses inside four functions of each module, as a crash logger prints them, as
#       the event log's application error names them (UTF-16 with a byte order mark, CRLF) and as
#       Report.wer names them (UTF-16), each give the function, its own source file and a line
#       inside its body; the two release zips give the same as the build; a text naming the
#       module's own version gets no word about it, one naming another version gets one line; a
#       fault in another module is said so in one line; a PDB given as a log gets one line of
#       error
#   symbolize_test.sh refuses BIN_DIR PDB
#       each module beside the PDB of another build is refused, with the reason, and no line is
#       printed
#   symbolize_test.sh hook
#       the script hook's log, in UTF-8 and in UTF-16 with its byte order mark: its FATAL and CORE
#       lines are answered in words, every other line passes through alone; needs no module
#
# The addresses are found as a crash logger finds them: the function's start from the PDB's
# publics, then the return address of the first call it makes, the kind of address a stack
# trace is made of.
set -euo pipefail

mode=$1
bin=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
symbolize=$root/tools/symbolize.sh
llvm=${FRAYWICK_LLVM_BIN:-$("$root/tools/toolchain.sh" --value LLVM_BIN)}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
modules="Fraywick.asi Fraywick-diag.asi"

failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

if [ "$mode" = hook ]; then
  # Lines of the hook's log, each followed by the lines that must answer it, indented, with the
  # parts each must hold between semicolons; a line followed by none passes through alone.
  cat >"$work/table" <<'EOF'
// RDR 2 SCRIPT HOOK (build 1491.50, v1.0.1491.17)
[17:46:41] INIT: Registering script 'Fraywick.asi' (0x00007FFF1F5812A0)
[17:48:30] CORE: Launching main() for 'Fraywick.asi' (0x00007FFF1F5812A0), id 53
[17:48:31] FATAL: Can't find native 0xA86D5F069399F44D
  Fraywick's entityPosition ; the game's GET_ENTITY_COORDS ; no longer knows it ; game update
[17:48:31] FATAL: Can't find native 0x0BE7F4E3CDBAFB28
  Fraywick's distanceBetweenPoints ; the game's GET_DISTANCE_BETWEEN_COORDS ; no longer knows it
[17:48:31] FATAL: Can't find native 0xA1253A3C870B6843
  0xA1253A3C870B6843 is not one of Fraywick's natives
[00:58:03] CORE: An exception occurred while executing 'Fraywick.asi' (0x00007FFF1F5812A0), id 40
  caught a fault in Fraywick's script ; stopped it
  0x00007FFF1F5812A0 is the script entry ; not where the fault was
  diagnostic build ; recording stops at the last native call that returned before the fault
[00:58:03] CORE: An exception occurred while executing 'Fraywick-diag.asi' (0x00007FFEA4E6A2E0), id 41
  caught a fault in Fraywick's script ; stopped it
  0x00007FFEA4E6A2E0 is the script entry ; not where the fault was
  recording ; stops at the last native call that returned before the fault
[00:58:04] CORE: An exception occurred while executing 'NativeTrainer.asi' (0x00007FFF1F57F620), id 42
  NativeTrainer.asi is not Fraywick
[17:49:03] UNINIT: Unregistering script 'Fraywick.asi'
EOF
  grep -v '^  ' "$work/table" >"$work/hook.log"
  sed 's/$/\r/' "$work/hook.log" | iconv -f UTF-8 -t UTF-16LE | (printf '\377\376' && cat) \
    >"$work/hook-utf16.log"
  "$symbolize" "$work/hook.log" >"$work/out" || fail "the symbolizer failed on the hook's log"
  cat "$work/out"
  # Line N of the log, or a line answering it: "N<tab>line".
  number() { awk '!/^  / { n++ } { print n "\t" $0 }' "$1"; }
  number "$work/table" >"$work/wanted"
  number "$work/out" >"$work/got"
  lines() { # FILE N, answers (1) or not (0)
    awk -F '\t' -v n="$2" -v answers="$3" '$1 == n && ($2 ~ /^  /) == answers { print $2 }' "$1"
  }
  n=$(wc -l <"$work/hook.log")
  for ((i = 1; i <= n; i++)); do
    line=$(lines "$work/wanted" $i 0)
    [ "$(lines "$work/got" $i 0)" = "$line" ] || fail "line $i is not passed through as it is"
    mapfile -t answer < <(lines "$work/got" $i 1)
    mapfile -t wanted < <(lines "$work/wanted" $i 1)
    [ ${#answer[@]} -eq ${#wanted[@]} ] ||
      fail "'$line' has ${#answer[@]} lines of answer, not ${#wanted[@]}: ${answer[*]}"
    for k in "${!wanted[@]}"; do
      while IFS= read -r part; do
        [[ ${answer[$k]:-} == *"$part"* ]] || fail "'$line': no '$part' in '${answer[$k]:-}'"
      done < <(sed 's/^  //; s/ ; /\n/g' <<<"${wanted[$k]}")
    done
  done
  [ "$(grep -c -v '^  ' "$work/out")" -eq "$n" ] || fail "lines were added or lost"
  "$symbolize" <"$work/hook-utf16.log" >"$work/out-utf16" ||
    fail "the symbolizer failed on the hook's log in UTF-16"
  cmp -s "$work/out" "$work/out-utf16" ||
    fail "UTF-16 reads otherwise: $(diff "$work/out" "$work/out-utf16" | head -20)"
  exit $((failures > 0))
fi

if [ "$mode" = refuses ]; then
  for module in $modules; do
    mkdir "$work/$module"
    cp "$bin/$module" "$work/$module/"
    cp "$3" "$work/$module/${module%.asi}.pdb"
    if "$symbolize" --module "$work/$module/$module" >"$work/out" 2>"$work/err" \
      <<<"crash at $module+0x1010"; then
      fail "the PDB of another build was taken for $module"
    fi
    grep -q "is not the PDB of this $module" "$work/err" ||
      fail "no reason given for $module: $(cat "$work/err")"
    ! grep -q ' at ' "$work/out" || fail "lines were printed: $(cat "$work/out")"
    [ $failures -eq 0 ] && echo "refused: $(cat "$work/err")"
  done
  exit $((failures > 0))
fi

# function | the file that defines it
cases="ScriptEntry src/plugin/script.cpp
startBrawl src/brawl/brawl.cpp
loadSettings src/settings/settings.cpp
RecordKeyMessage src/plugin/keyboard.cpp"

for module in $modules; do
  pdb=$bin/${module%.asi}.pdb
  image_base=$("$llvm/llvm-readobj" --file-headers "$bin/$module" |
    sed -n 's/.*ImageBase: \(0x[0-9A-F]*\)/\1/p')
  publics=$("$llvm/llvm-pdbutil" dump -publics "$pdb")
  sections=$("$llvm/llvm-pdbutil" dump -section-headers "$pdb")
  while read -r function file; do
    # `_ZN8fraywick11ScriptEntryEv`, then "flags = function, addr = 0001:0992"
    address=$(grep -A1 -E "\`_ZN8fraywick${#function}${function}E" <<<"$publics" |
      sed -n 's/.*flags = function, addr = \([0-9]*\):\([0-9]*\)$/\1 \2/p' | head -1 || true)
    [ -n "$address" ] || { fail "$function is not among the publics of $pdb"; continue; }
    read -r section offset <<<"$address"
    section_rva=$(awk -v n="#$((10#$section))" '/SECTION HEADER #/ { s = $NF }
      s == n && /virtual address/ { print $1; exit }' <<<"$sections")
    start=$((image_base + 0x$section_rva + 10#$offset))
    return_address=$("$llvm/llvm-objdump" -d --no-show-raw-insn --start-address=$start \
      --stop-address=$((start + 0x400)) "$bin/$module" |
      grep -A1 -m1 -E '^ *[0-9a-f]+:\s+call' | sed -n '2s/^ *\([0-9a-f]*\):.*/\1/p' || true)
    [ -n "$return_address" ] || { fail "$function makes no call in its first 1 KiB"; continue; }
    printf '%s\n' "$function $file $module+$(printf '0x%X' $((0x$return_address - image_base)))"
  done <<<"$cases"
done >"$work/cases"

# The three texts a player has, for every address: one crash logger's log; one event log text
# with an application error per address, saved as Windows saves it; one Report.wer each. They
# name the version both modules carry, the numbers of project() in the top-level CMakeLists.txt.
version=$(sed -n 's/^project(Fraywick VERSION \([0-9]*\.[0-9]*\.[0-9]*\).*/\1.0/p' \
  "$root/CMakeLists.txt")
[ -n "$version" ] || fail "no version in project() of $root/CMakeLists.txt"
utf16() { iconv -f UTF-8 -t UTF-16LE | (printf '\377\376' && cat); }
texts() { # EVENT_TEXT WER_PREFIX VERSION, for each "function file address" read
  local n=0 function file address module offset
  while read -r function file address; do
    n=$((n + 1))
    module=${address%+*}
    offset=$(printf '%016x' $((${address#*+})))
    printf 'Faulting application name: RDR2.exe, version: 1.0.1491.50, time stamp: 0x5f8a1c2b\r\n'
    printf 'Faulting module name: %s, version: %s, time stamp: 0x00000000\r\n' "$module" "$3"
    printf 'Exception code: 0xc0000005\r\nFault offset: 0x%s\r\n' "$offset"
    printf 'Faulting module path: C:\\Games\\RDR2\\%s\r\n\r\n' "$module"
    {
      printf 'Version=1\r\nEventType=APPCRASH\r\n'
      printf 'Sig[0].Name=Application Name\r\nSig[0].Value=RDR2.exe\r\n'
      printf 'Sig[3].Name=Fault Module Name\r\nSig[3].Value=%s\r\n' "$module"
      printf 'Sig[4].Name=Fault Module Version\r\nSig[4].Value=%s\r\n' "$3"
      printf 'Sig[6].Name=Exception Offset\r\nSig[6].Value=%s\r\n' "$offset"
    } | utf16 >"$2-$n.wer"
  done | utf16 >"$1"
}
awk '{ print "  frame " NR ": " $3 }' "$work/cases" >"$work/crash.log"
texts "$work/event.txt" "$work/Report" "$version" <"$work/cases"
logs=("$work/crash.log" "$work/event.txt" "$work"/Report-*.wer)

"$symbolize" --module "$bin/Fraywick.asi" --module "$bin/Fraywick-diag.asi" "${logs[@]}" \
  >"$work/out" || fail "the symbolizer failed"
cat "$work/out"
# From the zips, named by relative paths as a maintainer would type them.
zip=$3
diagnostic_zip=$4
(cd "$(dirname "$zip")" && "$symbolize" --zip "./$(basename "$zip")" \
  --zip "./$(basename "$diagnostic_zip")" "${logs[@]}") >"$work/from-zip" ||
  fail "the symbolizer failed on $zip and $diagnostic_zip"
cmp -s "$work/out" "$work/from-zip" ||
  fail "the release zips give other frames: $(diff "$work/out" "$work/from-zip" | head -20)"

while read -r function file address; do
  # Under each heading of the address, the frame it lies in is the last one listed; inlined ones
  # come before. One heading per text: the crash log, the event log and Report.wer.
  found=$(awk -v a="  $address" '$0 == a { if (take) print last; take = 1; last = ""; next }
    take && /^    / { last = $0; next } take { print last; take = 0 }
    END { if (take) print last }' "$work/out")
  [ "$(grep -c . <<<"$found")" -eq 3 ] ||
    fail "$address is not symbolized once for each of the three texts: '$found'"
  while IFS= read -r frame; do
    expected_name="fraywick::${function}("
    [[ $frame == *"$expected_name"* ]] || fail "$address: '$frame' is not in $function"
    location=${frame##* at }
    [ "${location%:*}" = "$file" ] ||
      fail "$address: $function is defined in $file, not ${location%:*}"
    line=${location##*:}
    # The body: from the line with the brace that opens it to the first closing brace in column 1.
    signature=$(grep -n -E "^[A-Za-z].* ${function}\(" "$root/$file" | head -1 | cut -d: -f1)
    opening=$(awk -v from="$signature" 'NR >= from && /\{$/ { print NR; exit }' "$root/$file")
    closing=$(awk -v from="$opening" 'NR > from && /^}/ { print NR; exit }' "$root/$file")
    if ! [[ $line =~ ^[0-9]+$ ]] || ((line <= opening || line > closing)); then
      fail "$address: line $line is not inside the body of $function ($file:$opening-$closing)"
    fi
  done <<<"$found"
done <"$work/cases"
[ "$(wc -l <"$work/cases")" -eq 8 ] || fail "not every function was found in both modules"

# The module's own version gets no word; another one gets one line under each address, above
# its frames. A module without a version resource says that instead.
! grep -q '^    version: .* given is' "$work/out" ||
  fail "the module's own version was taken for another: $(grep '^    version:' "$work/out")"
for module in $modules; do grep -m1 " $module+" "$work/cases" || true; done >"$work/first-cases"
texts "$work/old-event.txt" "$work/old" 0.9.0.0 <"$work/first-cases"
"$symbolize" --module "$bin/Fraywick.asi" --module "$bin/Fraywick-diag.asi" "$work/old-event.txt" \
  "$work"/old-*.wer >"$work/old.out" || fail "the symbolizer failed on texts of another version"
while read -r function file address; do
  module=${address%+*}
  resources=$("$llvm/llvm-readobj" --coff-resources "$bin/$module")
  if grep -q 'Type: VERSIONINFO' <<<"$resources"; then
    said="version: the text names 0.9.0.0, the $module given is $version: "
  else
    said="version: the text names 0.9.0.0; this $module carries no version to compare"
  fi
  # Under the address, once for the event log's text and once for Report.wer.
  [ "$(grep -A1 -x -F "  $address" "$work/old.out" | grep -c -F "    $said")" -eq 2 ] ||
    fail "not '$said' under $address for each text: $(cat "$work/old.out")"
done <"$work/first-cases"
[ "$(grep -c '^    version:' "$work/old.out")" -eq 4 ] ||
  fail "not one version line per address: $(cat "$work/old.out")"

# A fault in another module: one line naming it, and nothing looked up.
printf 'Faulting module name: ntdll.dll, version: 10.0.19041.1, time stamp: 0x1e2f3a4b\r\n' \
  >"$work/other.txt"
printf 'Fault offset: 0x000000000001e8fe\r\n' >>"$work/other.txt"
"$symbolize" --module "$bin/Fraywick.asi" "$work/other.txt" >"$work/other.out" ||
  fail "the symbolizer failed on a fault in another module"
[ "$(tail -n 1 "$work/other.out")" = \
  "  the fault lies in ntdll.dll, not in Fraywick.asi or Fraywick-diag.asi" ] ||
  fail "a fault in another module is not said so: $(cat "$work/other.out")"
[ "$(wc -l <"$work/other.out")" -eq 3 ] || fail "more than one line for it: $(cat "$work/other.out")"

# A PDB where a log was meant: one line of error, no binary on the terminal.
if "$symbolize" --module "$bin/Fraywick.asi" "$bin/Fraywick.pdb" >"$work/binary.out" \
  2>"$work/binary.err"; then
  fail "a PDB was taken for a log"
fi
[ ! -s "$work/binary.out" ] || fail "the PDB's bytes were printed"
[ "$(wc -l <"$work/binary.err")" -eq 1 ] && grep -q "Fraywick.pdb is not text" "$work/binary.err" ||
  fail "not one line saying so: $(head -c 300 "$work/binary.err")"

exit $((failures > 0))
