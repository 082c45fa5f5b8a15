#!/usr/bin/env bash
# Reads what a player has after a crash and names the function and source line behind each
# address in one of Fraywick's modules, the shipped Fraywick.asi or the diagnostic
# Fraywick-diag.asi, each from its own PDB. It reads, in one log or several:
#
#   - crash loggers' stack traces, addresses relative to the module: Fraywick.asi+0x1A2B0;
#   - the text of the event log's application error (Event Viewer, "Application Error"):
#     "Faulting module name: Fraywick.asi, version: ..." and "Fault offset: 0x000000000001a2b0";
#   - Windows Error Reporting's Report.wer: "Sig[3].Name=Fault Module Name",
#     "Sig[3].Value=Fraywick.asi", "Sig[6].Name=Exception Offset", "Sig[6].Value=000000000001a2b0";
#   - the script hook's own ScriptHookRDR2.log: "FATAL: Can't find native 0x…" and "CORE: An
#     exception occurred while executing 'X.asi' (0x…), id N";
#
# as UTF-8, or as UTF-16 with its byte order mark, as Windows saves them. Anything that is not
# text (a PDB given where a log was meant) gets one line of error.
#
#   tools/symbolize.sh [--zip ZIP]... [--module MODULE [--pdb PDB]]... [LOG...]
#
# It prints every line of the logs (standard input without any) as it is, and after a line that
# names an address, the frames at that address, innermost first: functions inlined there, then
# the function the address lies in, each with file:line. A fault in another module is said so,
# in one line naming it, and so is a version the text names other than the module's own (the
# FILEVERSION of its version resource). After the hook's FATAL and CORE lines it says in words
# what they mean for Fraywick: the native's two names when it is one of ours (the catalogue in
# src/host/natives.h), and whether the plug-in the hook stopped is Fraywick.
#
# The modules and their PDBs come from the release zips named (the player's and the diagnostic
# one), from the modules named (each PDB beside its module, under the name the module gives,
# unless --pdb names it), or else, for a log with an address in one of them, from
# build/windows/bin: the hook's log needs none. A PDB must be the one its module was linked with,
# by the GUID and age the module names: any other is refused, since its lines would be wrong.
#
# LLVM's own tools do the reading: llvm-readobj (the module's debug directory and version
# resource), llvm-pdbutil (the PDB's identity) and llvm-symbolizer (addresses to lines, inlined
# frames included).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
modules=() # module files, in the order given
pdbs=()    # the PDB of each, or empty: beside the module, under the name the module gives
zips=()
pending_pdb=""

usage() {
  sed -n 's/^#   \(tools\/symbolize.sh .*\)/\1/p' "$0" >&2
  exit 2
}
fail() {
  echo "symbolize: $*" >&2
  exit 1
}

while [ $# -gt 0 ]; do
  case $1 in
    --module)
      modules+=("${2:?}")
      pdbs+=("$pending_pdb")
      pending_pdb=""
      shift 2
      ;;
    --pdb)
      # For the module named last, or for the next one when none was named yet.
      if [ ${#modules[@]} -gt 0 ]; then pdbs[-1]=${2:?}; else pending_pdb=${2:?}; fi
      shift 2
      ;;
    --zip) zips+=("${2:?}"); shift 2 ;;
    -h | --help) usage ;;
    --) shift; break ;;
    -*) usage ;;
    *) break ;;
  esac
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The logs as UTF-8 text. Windows writes Report.wer, and often saves the event log's text, as
# UTF-16 with a byte order mark; a UTF-8 one may carry a mark too. What is left may hold no
# control bytes but tabs, line and page ends: anything else is no log, and printing it would
# spill binary onto the terminal.
as_text() {
  local raw=$1 label=$2 mark
  mark=$(head -c 3 "$raw" | od -An -tx1 | tr -d ' \n')
  case $mark in
    fffe* | feff*)
      iconv -f UTF-16 -t UTF-8 "$raw" >"$work/text" 2>/dev/null ||
        fail "$label is not text: it starts as UTF-16 but does not read as such"
      ;;
    efbbbf) tail -c +4 "$raw" >"$work/text" ;;
    *) cp "$raw" "$work/text" ;;
  esac
  if ! LC_ALL=C tr -d '\000-\010\013\016-\037\177' <"$work/text" | cmp -s - "$work/text"; then
    fail "$label is not text: give the crash log, the event log's text, Report.wer or the" \
      "hook's log as saved (UTF-8, or UTF-16 with its byte order mark)"
  fi
  cat "$work/text" >>"$work/log"
  # A last line without its line end still ends before the next log's first.
  [ ! -s "$work/text" ] || [ -z "$(tail -c 1 "$work/text")" ] || echo >>"$work/log"
}
: >"$work/log"
if [ $# -eq 0 ]; then
  cat >"$work/raw"
  as_text "$work/raw" "standard input"
else
  for log in "$@"; do
    [ -f "$log" ] || fail "no such log: $log"
    as_text "$log" "$log"
  done
fi

# The natives Fraywick calls, read from the catalogue where each is written once: the hash in
# NativeOp<...>, then our name and the game's in braces, on that line or the next. Every entry of
# kNatives must be found, or a native of ours would be called foreign.
catalogue=$root/src/host/natives.h
declare -A native_names # hash in capitals, without 0x and leading zeros -> "ours<tab>the game's"
while IFS=$'\t' read -r hash ours game; do
  native_names[$hash]="$ours"$'\t'"$game"
done < <(awk '
  match($0, /NativeOp<0[xX][0-9A-Fa-f]+/) {
    hash = toupper(substr($0, RSTART + 11, RLENGTH - 11))
    sub(/^0+/, "", hash)
  }
  hash != "" && match($0, /\{"[A-Za-z0-9_]+", *"[A-Za-z0-9_]+"\}/) {
    split(substr($0, RSTART + 2, RLENGTH - 4), names, /", *"/)
    print hash "\t" names[1] "\t" names[2]
    hash = ""
  }' "$catalogue")
listed=$({ grep -o '[A-Za-z]\.info()' "$catalogue" || true; } | wc -l)
[ ${#native_names[@]} -eq "$listed" ] && [ "$listed" -gt 0 ] ||
  fail "read ${#native_names[@]} natives of the $listed in $catalogue: its form has changed"

# Every line of the logs, each followed by what it names: "L<tab>line", then for an address in
# one of ours "A<tab>module in lower case<tab>offset<tab>heading<tab>version the text names", for
# a fault in another module "O<tab>module", for the hook's FATAL line "F<tab>hash in capitals,
# without 0x and leading zeros<tab>hash as written", for its CORE exception line
# "X<tab>module<tab>entry address". The event log's text and Report.wer name the module, its
# version and the offset on separate lines; a crash logger names module and offset at once, as
# Module+0xOffset, wherever it stands in a line.
awk -v quote="'" '
  function ours(module) {
    module = tolower(module)
    return module == "fraywick.asi" || module == "fraywick-diag.asi"
  }
  function offset(hex) {
    hex = toupper(hex)
    sub(/^0X/, "", hex)
    sub(/^0+/, "", hex)
    return "0x" (hex == "" ? "0" : hex)
  }
  function named(module, at, heading, version) {
    if (ours(module)) {
      print "A\t" tolower(module) "\t" offset(at) "\t" heading "\t" version
    } else {
      print "O\t" module
    }
  }
  function value(line) {
    sub(/^[^=]*=/, "", line)
    return line
  }
  {
    sub(/\r$/, "")
    line = $0
    print "L\t" line

    rest = line
    while (match(tolower(rest), /fraywick(-diag)?\.asi\+(0x)?[0-9a-f]+/)) {
      before = RSTART > 1 ? substr(rest, RSTART - 1, 1) : ""
      found = substr(rest, RSTART, RLENGTH)
      rest = substr(rest, RSTART + RLENGTH)
      if (before ~ /[A-Za-z0-9_.-]/) continue  # the tail of another module name
      plus = index(found, "+")
      named(substr(found, 1, plus - 1), substr(found, plus + 1), found)
    }

    if (line ~ /^[ \t]*Faulting application name:/) {
      event_module = ""
      event_offset = ""
      event_version = ""
    }
    if (match(line, /^[ \t]*Faulting module name:[ \t]*/)) {
      event_module = substr(line, RSTART + RLENGTH)
      sub(/,.*/, "", event_module)
      event_version = ""
      if (match(line, /, version: *[^ ,]+/)) {
        event_version = substr(line, RSTART, RLENGTH)
        sub(/.* /, "", event_version)
      }
    }
    if (match(line, /^[ \t]*Fault offset:[ \t]*/)) {
      event_offset = substr(line, RSTART + RLENGTH)
      sub(/[ \t].*/, "", event_offset)
    }
    if (event_module != "" && event_offset ~ /^(0[xX])?[0-9A-Fa-f]+$/) {
      named(event_module, event_offset, event_module "+" offset(event_offset), event_version)
      event_module = ""
      event_offset = ""
      event_version = ""
    }

    if (match(line, /^Sig\[[0-9]+\]\.(Name|Value)=/)) {
      n = substr(line, 5, index(line, "]") - 5)
      if (line ~ /^Sig\[[0-9]+\]\.Name=/) {
        sig[n] = value(line)
      } else if (sig[n] == "Fault Module Name") {
        wer_module = value(line)
      } else if (sig[n] == "Fault Module Version") {
        wer_version = value(line)
      } else if (sig[n] == "Exception Offset") {
        wer_offset = value(line)
      }
      if (wer_module != "" && wer_offset ~ /^(0[xX])?[0-9A-Fa-f]+$/) {
        named(wer_module, wer_offset, wer_module "+" offset(wer_offset), wer_version)
        wer_module = ""
        wer_offset = ""
        wer_version = ""
      }
    }

    # The script hook names a native the game no longer has, and a plug-in whose script faulted:
    # its name in quotes, then the address of the script entry it registered.
    if (match(line, /FATAL: Can.t find native 0[xX][0-9A-Fa-f]+/)) {
      written = substr(line, RSTART, RLENGTH)
      sub(/.* /, "", written)
      hash = toupper(substr(written, 3))
      sub(/^0+/, "", hash)
      if (hash == "") hash = "0"
      print "F\t" hash "\t" written
    }
    if (match(line, /CORE: An exception occurred while executing /)) {
      rest = substr(line, RSTART + RLENGTH)
      if (substr(rest, 1, 1) == quote) {
        rest = substr(rest, 2)
        ends = index(rest, quote)
      } else {
        ends = index(rest, " (")
      }
      if (ends > 1) {
        module = substr(rest, 1, ends - 1)
        sub(/.*[\\\/]/, "", module)
        entry = ""
        if (match(substr(rest, ends), /\(0[xX][0-9A-Fa-f]+\)/)) {
          entry = substr(rest, ends + RSTART, RLENGTH - 2)
        }
        print "X\t" module "\t" entry
      }
    }
  }
' "$work/log" >"$work/named"

for zip in "${zips[@]}"; do
  [ -f "$zip" ] || fail "no such zip: $zip"
  zip=$(cd "$(dirname "$zip")" && pwd)/$(basename "$zip")
  unpacked=$work/zip${#modules[@]}-$RANDOM
  mkdir "$unpacked"
  (cd "$unpacked" && cmake -E tar xf "$zip")
  found=0
  for name in Fraywick.asi Fraywick-diag.asi; do
    if [ -f "$unpacked/$name" ]; then
      modules+=("$unpacked/$name")
      pdbs+=("")
      found=1
    fi
  done
  [ $found -eq 1 ] || fail "$zip holds neither Fraywick.asi nor Fraywick-diag.asi"
done
if [ -n "$pending_pdb" ]; then
  # A PDB without a module: the shipped module of the build, as ever.
  [ ${#zips[@]} -eq 0 ] || usage
  modules=("$root/build/windows/bin/Fraywick.asi")
  pdbs=("$pending_pdb")
elif [ ${#modules[@]} -eq 0 ] && grep -q '^A' "$work/named"; then
  # Only for an address in one of ours: the hook's log needs no module.
  for name in Fraywick.asi Fraywick-diag.asi; do
    if [ -f "$root/build/windows/bin/$name" ]; then
      modules+=("$root/build/windows/bin/$name")
      pdbs+=("")
    fi
  done
  [ ${#modules[@]} -gt 0 ] || fail "no module in $root/build/windows/bin (build it with" \
    "'make windows', or name it with --zip or --module)"
fi
# The build's own LLVM (tools/toolchain.sh), unless the caller names one: only modules need it.
if [ ${#modules[@]} -gt 0 ]; then
  llvm=${FRAYWICK_LLVM_BIN:-$("$root/tools/toolchain.sh" --value LLVM_BIN)}
fi

# The module's version as the event log and Windows Error Reporting write it (1.2.0.0): the
# FILEVERSION of its version resource's fixed part, found by its signature 0xFEEF04BD in the bytes
# llvm-readobj dumps, each number little-endian. Nothing for a module without one.
file_version() {
  "$llvm/llvm-readobj" --coff-resources "$1" 2>/dev/null | awk '
    function number(digits,   n, i) {  # 4 hex digits, low byte first
      digits = substr(digits, 3, 2) substr(digits, 1, 2)
      for (i = 1; i <= 4; i++) n = n * 16 + index("0123456789ABCDEF", substr(digits, i, 1)) - 1
      return n
    }
    /^ *Type: / { inside = $0 ~ /Type: VERSIONINFO/ }
    inside && /^ *[0-9A-Fa-f]+: / {
      for (f = 2; f <= NF && $f ~ /^[0-9A-Fa-f]+$/; f++) bytes = bytes toupper($f)
    }
    END {
      for (at = 1; at + 32 <= length(bytes); at += 8) {
        if (substr(bytes, at, 8) != "BD04EFFE") continue
        high = substr(bytes, at + 16, 8)  # after the signature and the structure version
        low = substr(bytes, at + 24, 8)
        print number(substr(high, 5)) "." number(high) "." number(substr(low, 5)) "." number(low)
        exit
      }
    }'
}

# Each module with its PDB, checked: by its file name in lower case, as logs name it.
declare -A slot       # module name -> index
declare -A image_size # index -> the module's size in memory
declare -A shown_name # index -> the module's file name as it is
declare -A version    # index -> the module's version, or empty
for i in "${!modules[@]}"; do
  module=${modules[$i]}
  [ -f "$module" ] || fail "no module at $module (build it with 'make windows', or name it with --module)"
  name=$(basename "$module")
  # The PDB the module was linked with: its file name, GUID and age, from the debug directory.
  # The module holds the GUID as 16 bytes. llvm-readobj 19 writes them as a GUID; 16 lists the
  # bytes, and written as a GUID their first three fields are little-endian.
  directory=$("$llvm/llvm-readobj" --file-headers --coff-debug-directory "$module" 2>/dev/null) ||
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
  pdb=${pdbs[$i]:-$(dirname "$module")/$pdb_name}
  [ -f "$pdb" ] || fail "no PDB at $pdb (name it with --pdb)"

  summary=$("$llvm/llvm-pdbutil" dump -summary "$pdb" 2>/dev/null) || fail "$pdb is not a PDB"
  guid=$(sed -n 's/^ *GUID: \(.*\)$/\1/p' <<<"$summary")
  age=$(sed -n 's/^ *Age: \([0-9]*\)$/\1/p' <<<"$summary")
  if [ "$guid" != "$wanted_guid" ] || [ "$age" != "$wanted_age" ]; then
    fail "$pdb is not the PDB of this $name: the module was linked with PDB" \
      "$wanted_guid age $wanted_age, this one is $guid age $age, and its lines would be wrong." \
      "Take the $pdb_name of the same release (or build) as the module."
  fi

  # llvm-symbolizer looks for the PDB beside the module, under the name the module gives it.
  mkdir "$work/m$i"
  ln -s "$(cd "$(dirname "$module")" && pwd)/$name" "$work/m$i/$name"
  ln -s "$(cd "$(dirname "$pdb")" && pwd)/$(basename "$pdb")" "$work/m$i/$pdb_name"
  slot[${name,,}]=$i
  shown_name[$i]=$name
  image_size[$i]=$(sed -n 's/.*SizeOfImage: \([0-9]*\)$/\1/p' <<<"$directory")
  version[$i]=$(file_version "$module" || true)
done


# One symbolizer run per module, over the addresses the logs name in it: a function line and a
# file:line:column line per frame, then an empty line. Sources of the plug-in stand in the PDB
# under the root the build gives them (C:\fraywick, src/CMakeLists.txt); they are shown relative
# to the checkout.
declare -A frames # "module address" -> the lines to print under it
for key in "${!slot[@]}"; do
  i=${slot[$key]}
  awk -F '\t' -v m="$key" '$1 == "A" && $2 == m { print $3 }' "$work/named" | sort -u \
    >"$work/addresses"
  [ -s "$work/addresses" ] || continue
  "$llvm/llvm-symbolizer" --obj="$work/m$i/${shown_name[$i]}" --relative-address --inlines \
    --demangle <"$work/addresses" >"$work/symbols"
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
    if ((address >= image_size[$i])); then
      text="    outside ${shown_name[$i]}, which is $(printf '0x%X' "${image_size[$i]}") bytes:"
      text+=" a log of another version?"
    fi
    frames["$key $address"]=${text:+$text$'\n'}
  done <"$work/addresses"
  exec 3<&-
done

while IFS= read -r record; do
  kind=${record%%$'\t'*}
  body=${record#*$'\t'}
  IFS=$'\t' read -r first second third fourth <<<"$body"
  case $kind in
    L) printf '%s\n' "$body" ;;
    A)
      printf '  %s\n' "$third"
      if [ -z "${slot[$first]+set}" ]; then
        printf '    (no %s at hand: give its release zip with --zip, or the module with --module)\n' \
          "$first"
      else
        i=${slot[$first]}
        # Equal numbers prove no more than the release (a build between releases carries the
        # next one's), but other numbers prove that the module given is not the one that crashed.
        if [ -n "$fourth" ] && [ -z "${version[$i]}" ]; then
          printf '    version: the text names %s; this %s carries no version to compare\n' \
            "$fourth" "${shown_name[$i]}"
        elif [ -n "$fourth" ] && [ "$fourth" != "${version[$i]}" ]; then
          printf '    version: the text names %s, the %s given is %s:' \
            "$fourth" "${shown_name[$i]}" "${version[$i]}"
          printf ' the lines below may be wrong; take the zips of %s\n' "$fourth"
        fi
        printf '%s' "${frames["$first $second"]}"
      fi
      ;;
    O) printf '  the fault lies in %s, not in Fraywick.asi or Fraywick-diag.asi\n' "$first" ;;
    F)
      if [ -n "${native_names[$first]+set}" ]; then
        IFS=$'\t' read -r ours game <<<"${native_names[$first]}"
        printf "  native %s is Fraywick's %s, the game's %s: the game no longer knows it," \
          "$second" "$ours" "$game"
        printf ' as after a game update\n'
      else
        printf "  native %s is not one of Fraywick's natives: the call was not Fraywick's\n" \
          "$second"
      fi
      ;;
    X)
      case ${first,,} in
        fraywick.asi | fraywick-diag.asi)
          printf "  the hook caught a fault in Fraywick's script (%s) and stopped it;" "$first"
          printf ' the game goes on without it\n'
          [ -z "$second" ] ||
            printf '  %s is the script entry the hook started, not where the fault was\n' "$second"
          # The diagnostic layer writes a call down when it returns, and hands the frame in
          # progress to the file at the frame's end or at the unload: a stopped script has no
          # frame end, so the game must be quit for it.
          if [ "${first,,}" = fraywick.asi ]; then
            printf '  next: with the diagnostic build (Fraywick-diag.asi) and the game quit'
            printf ' normally after such a fault, the last frame of its recording stops at the last'
            printf ' native call that returned before the fault\n'
          else
            printf '  next: once the game is quit normally, the last frame of its recording'
            printf ' (Fraywick-recording.txt) stops at the last native call that returned before'
            printf ' the fault\n'
          fi
          ;;
        *) printf "  %s is not Fraywick: the hook stopped another plug-in's script\n" "$first" ;;
      esac
      ;;
  esac
done <"$work/named"
