#!/bin/bash
# The native fraywick-sim and the Windows one under Wine must write the same trace, line for
# line, for the built-in scenario and for every shipped one; their reports must agree too, apart
# from the lines that name files. The diagnostic build (Fraywick-diag.asi) must make the shipped
# build's calls under Wine too, and write the recording the native one writes (but for the line
# naming the build); that recording must replay identically against the shipped Fraywick.asi under
# Wine and against the native Fraywick.so. Last, a crash under Wine: the Windows hook double ends
# the process in the middle of a session, and what Fraywick-diag.asi left must explain and replay
# up to the cut and outlive the next load in the same folder; then it ends the process inside a
# load's first native call, whose recording must be there, cut short in frame 1, beside the
# earlier ones.
#
#   wine_traces_match.sh NATIVE_FRAYWICK_SIM WINDOWS_BIN_DIR SCENARIO_DIR
#
# Exits 77 (skipped) when there is no Windows build or no Wine to run it with.
set -u

sim=$1
windows_bin=$2
scenarios=$3

. "$(dirname "$0")/wine_session.sh"
# The program, with the plug-in and the hook double it loads, and the diagnostic build.
wine_session_start "$windows_bin" fraywick-sim.exe Fraywick.asi Fraywick-diag.asi ScriptHookRDR2.dll
native_diag=$(dirname "$sim")/Fraywick-diag.so
export FRAYWICK_WINDOWS_BIN=$windows_bin

# Lines that name files differ by nature: Wine sees Z:/tmp/... where Linux sees /tmp/...
comparable() {
  tr -d '\r' <"$1" | grep -v -e '^  scenario  ' -e '^Trace: ' -e '^Map: '
}

failures=0

# Replays RECORDING under Wine, then natively; each output must hold a line matching each
# PATTERN. On failure, replayed_by says which run failed.
replays() {
  local recording=$1 pattern
  shift
  for replayed_by in --wine ""; do
    # shellcheck disable=SC2086 # an empty $replayed_by is no argument
    "$sim" $replayed_by --replay "$recording" >"$work/replay.out" 2>"$work/replay.err" || return 1
    for pattern in "$@"; do
      tr -d '\r' <"$work/replay.out" | grep -q "$pattern" || return 1
    done
  done
}

compare() {
  local name=$1
  shift
  if ! "$sim" "$@" --trace "$work/native.trace" >"$work/native.report" 2>"$work/native.err"; then
    echo "FAIL $name: the native run failed:"
    cat "$work/native.err"
    failures=$((failures + 1))
    return
  fi
  if ! "$sim" --wine "$@" --trace "$work/wine.trace" >"$work/wine.report" 2>"$work/wine.err"; then
    echo "FAIL $name: the run under Wine failed:"
    cat "$work/wine.err"
    failures=$((failures + 1))
    return
  fi
  if ! diff -u "$work/native.trace" "$work/wine.trace" >"$work/trace.diff"; then
    echo "FAIL $name: the traces differ (native first, Wine second):"
    head -40 "$work/trace.diff"
    failures=$((failures + 1))
    return
  fi
  if ! diff -u <(comparable "$work/native.report") <(comparable "$work/wine.report") \
      >"$work/report.diff"; then
    echo "FAIL $name: the reports differ (native first, Wine second):"
    head -40 "$work/report.diff"
    failures=$((failures + 1))
    return
  fi
  if ! "$sim" "$@" --plugin "$native_diag" --record "$work/native.rec" >/dev/null 2>"$work/native.err" ||
    ! "$sim" --wine "$@" --plugin "$windows_bin/Fraywick-diag.asi" --record "$work/wine.rec" \
      --trace "$work/wine-diag.trace" >/dev/null 2>"$work/wine.err"; then
    echo "FAIL $name: a diagnostic build's run failed:"
    cat "$work/native.err" "$work/wine.err"
    failures=$((failures + 1))
    return
  fi
  if ! diff -u "$work/native.trace" "$work/wine-diag.trace" >"$work/trace.diff"; then
    echo "FAIL $name: Fraywick-diag.asi calls the game otherwise than Fraywick.asi does:"
    head -40 "$work/trace.diff"
    failures=$((failures + 1))
    return
  fi
  if ! diff -u <(sed 2d "$work/native.rec") <(sed 2d "$work/wine.rec") >"$work/rec.diff"; then
    echo "FAIL $name: the recordings differ (native first, Wine second):"
    head -40 "$work/rec.diff"
    failures=$((failures + 1))
    return
  fi
  local identical  # every line of the trace after its header is a call, but for the restarts
  identical="identical: $(grep -v -c -e '^#' -e '^[0-9]* restart ' "$work/native.trace") calls over"
  if ! replays "$work/wine.rec" "^$identical "; then
    echo "FAIL $name: the Wine recording does not replay identically (${replayed_by:-natively}):"
    cat "$work/replay.out" "$work/replay.err"
    failures=$((failures + 1))
    return
  fi
  echo "ok   $name: $(($(wc -l <"$work/native.trace") - 2)) calls, the same in both builds and" \
    "in the diagnostic ones; the recording replays identically"
}

# The hook double ends fraywick-sim.exe with TerminateProcess after 200 frames of the built-in
# evening: Fraywick-diag.asi gets no detach, and its C runtime flushes nothing more.
crash() {
  local game=$work/game
  local recording=$game/Fraywick-recording.txt
  local diag=(--plugin "$windows_bin/Fraywick-diag.asi" --folder "$game")
  "$sim" --wine "${diag[@]}" --crash-after 200 >"$work/crash.out" 2>"$work/crash.err"
  local status=$?
  if [ $status -ne 3 ]; then
    echo "FAIL crash: the process under Wine ended with status $status, not 3:"
    cat "$work/crash.out" "$work/crash.err"
    failures=$((failures + 1))
    return
  fi
  if [ "$(tail -n 1 "$recording" 2>/dev/null)" != "200 scriptWait 0x0000000000000000" ]; then
    echo "FAIL crash: the recording left does not end with frame 200: $(tail -n 1 "$recording")"
    failures=$((failures + 1))
    return
  fi
  cp "$recording" "$work/crashed.rec"
  local cut="cut short after frame 200: the game ended without unloading the plug-in"
  if ! "$sim" --explain "$recording" >"$work/explain.out" 2>&1 ||
    ! grep -q "^  ends      $cut (a crash, or a forced quit)$" "$work/explain.out"; then
    echo "FAIL crash: the recording left does not explain with its cut named:"
    head -20 "$work/explain.out"
    failures=$((failures + 1))
    return
  fi
  if ! replays "$recording" '^identical up to the cut: [0-9]* calls over 200 frames$' \
    "^The recording was $cut"; then
    echo "FAIL crash: the recording left does not replay up to the cut (${replayed_by:-natively}):"
    cat "$work/replay.out" "$work/replay.err"
    failures=$((failures + 1))
    return
  fi
  if ! "$sim" --wine "${diag[@]}" >/dev/null 2>"$work/crash.err" ||
    ! cmp -s "$game/Fraywick-recording-1.txt" "$work/crashed.rec" ||
    ! grep -q '^end ' "$recording"; then
    echo "FAIL crash: the next load under Wine did not keep the crashed session's recording:"
    ls -l "$game"
    cat "$work/crash.err"
    failures=$((failures + 1))
    return
  fi
  cp "$recording" "$work/finished.rec"
  "$sim" --wine "${diag[@]}" --crash-in-native 1 >"$work/crash.out" 2>"$work/crash.err"
  status=$?
  if [ $status -ne 3 ] || ! cmp -s "$game/Fraywick-recording-1.txt" "$work/finished.rec" ||
    ! cmp -s "$game/Fraywick-recording-2.txt" "$work/crashed.rec"; then
    echo "FAIL crash: ended inside the first native call under Wine (status $status), the load" \
      "did not keep the earlier recordings:"
    ls -l "$game"
    cat "$work/crash.out" "$work/crash.err"
    failures=$((failures + 1))
    return
  fi
  local first="cut short in frame 1, before it ended: the game ended without unloading the plug-in"
  if ! "$sim" --explain "$recording" >"$work/explain.out" 2>&1 ||
    ! grep -q "^  ends      $first (a crash, or a forced quit)" "$work/explain.out"; then
    echo "FAIL crash: ended inside the first native call, the recording does not explain as cut" \
      "short in frame 1:"
    head -20 "$work/explain.out"
    failures=$((failures + 1))
    return
  fi
  if ! replays "$recording" '^identical up to the cut: 2 calls over 0 frames$' \
    "^The recording was $first"; then
    echo "FAIL crash: ended inside the first native call, the recording does not replay up to" \
      "the cut (${replayed_by:-natively}):"
    cat "$work/replay.out" "$work/replay.err"
    failures=$((failures + 1))
    return
  fi
  echo "ok   crash: Fraywick-diag.asi left 200 whole frames when the process was ended;" \
    "they explain and replay up to the cut, and the next load kept them; ended inside a load's" \
    "first native call, it left that load's recording, cut short in frame 1, and kept both"
}

compare "built-in scenario"
for scenario in "$scenarios"/*.scn; do
  compare "$(basename "$scenario")" "$scenario"
done
crash
exit $((failures > 0))
