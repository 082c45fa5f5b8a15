# What the native tests that drive the Windows build under Wine ask alike (wine_traces_match.sh,
# wine_explain_page.sh), sourced by them:
#
#   wine_session_start WINDOWS_BIN FILE...
#
# Skips the test (exit 77, with a message) when a FILE is missing from WINDOWS_BIN or Wine is not
# installed. Otherwise brings the FILEs (their targets: the names without the extension) up to
# date when WINDOWS_BIN lies in a build folder, since a Windows build left from before the last
# change would test old code; and keeps one wineserver up, in the prefix the build's own launcher
# uses, until the script exits, so that the programs started one after another never meet a
# server that is just exiting. Sets wine_run (the launcher) and work (a scratch folder, removed
# at exit), and exports WINEPREFIX.

wine_session_start() {
  local bin=$1 file targets=()
  shift
  for file in "$@"; do
    targets+=("${file%.*}")
    if [ ! -f "$bin/$file" ]; then
      echo "skipped: no Windows build in $bin ($file is missing); 'make windows' makes one"
      exit 77
    fi
  done
  if ! command -v wine >/dev/null; then
    echo "skipped: Wine is not installed"
    exit 77
  fi
  if [ -f "$bin/../CMakeCache.txt" ]; then
    local log=${TMPDIR:-/tmp}/wine-session-build.$$.log
    if ! cmake --build "$bin/.." --target "${targets[@]}" >"$log" 2>&1; then
      echo "FAIL: could not bring the Windows build in $bin/.. up to date:"
      tail -20 "$log"
      rm -f "$log"
      exit 1
    fi
    rm -f "$log"
  fi
  wine_run=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../cmake" && pwd)/wine-run.sh
  work=$(mktemp -d)
  WINEPREFIX=$(cd "$bin/.." && pwd)/wineprefix
  export WINEPREFIX
  trap '"$wine_run" --shutdown; rm -rf "$work"' EXIT
  if ! "$wine_run" --hold; then
    echo "FAIL: could not start a wineserver for $WINEPREFIX"
    exit 1
  fi
}
