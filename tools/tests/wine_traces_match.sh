#!/bin/bash
# The native fraywick-sim and the Windows one under Wine must write the same trace, line for
# line, for the built-in scenario and for every shipped one; their reports must agree too, apart
# from the lines that name files.
#
#   wine_traces_match.sh NATIVE_FRAYWICK_SIM WINDOWS_BIN_DIR SCENARIO_DIR
#
# Exits 77 (skipped) when there is no Windows build or no Wine to run it with.
set -u

sim=$1
windows_bin=$2
scenarios=$3

for file in fraywick-sim.exe Fraywick.asi ScriptHookRDR2.dll; do
  if [ ! -f "$windows_bin/$file" ]; then
    echo "skipped: no Windows build in $windows_bin ($file is missing); 'make windows' makes one"
    exit 77
  fi
done
if ! command -v wine >/dev/null; then
  echo "skipped: Wine is not installed"
  exit 77
fi

# A Windows build left from before the last change would compare old code with new: bring it up
# to date first (the program, and with it the plug-in and the hook double).
if [ -f "$windows_bin/../CMakeCache.txt" ]; then
  if ! cmake --build "$windows_bin/.." --target fraywick-sim >"${TMPDIR:-/tmp}/wine-traces-build.log" 2>&1; then
    echo "FAIL: could not bring the Windows build in $windows_bin/.. up to date:"
    tail -20 "${TMPDIR:-/tmp}/wine-traces-build.log"
    exit 1
  fi
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export FRAYWICK_WINDOWS_BIN=$windows_bin

# Lines that name files differ by nature: Wine sees Z:/tmp/... where Linux sees /tmp/...
comparable() {
  tr -d '\r' <"$1" | grep -v -e '^  scenario  ' -e '^Trace: ' -e '^Map: '
}

failures=0
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
  echo "ok   $name: $(($(wc -l <"$work/native.trace") - 2)) calls, the same in both builds"
}

compare "built-in scenario"
for scenario in "$scenarios"/*.scn; do
  compare "$(basename "$scenario")" "$scenario"
done
exit $((failures > 0))
