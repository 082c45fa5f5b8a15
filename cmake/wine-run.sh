#!/bin/sh
# Runs a Windows program of this build under Wine: ctest's launcher for the windows preset.
#
#   wine-run.sh PROGRAM.exe [ARGS...]   run it
#   wine-run.sh --prepare               only create the Wine prefix (ctest does this once, first)
#   wine-run.sh --hold                  create it, and keep its wineserver up until --shutdown
#   wine-run.sh --shutdown              stop the prefix's wineserver (ctest does this last)
#
# The prefix is $WINEPREFIX, or else "wineprefix" beside the folder that holds the program, which
# puts it inside the build tree (every program of a build lands in <build>/bin).
set -eu

if [ -z "${WINEPREFIX:-}" ]; then
  if [ "${1:-}" = --prepare ] || [ "${1:-}" = --hold ] || [ "${1:-}" = --shutdown ] ||
    [ $# -eq 0 ]; then
    echo "wine-run.sh: set WINEPREFIX for $*" >&2
    exit 2
  fi
  WINEPREFIX=$(cd "$(dirname "$1")/.." && pwd)/wineprefix
fi
export WINEPREFIX
# Wine's own diagnostics would bury the test output.
export WINEDEBUG=-all
# A fresh prefix would offer to install Mono and Gecko, and register desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Nothing here opens a window; without a display Wine does not try to.
unset DISPLAY WAYLAND_DISPLAY

# Creating a prefix takes many seconds and must happen once, not in every process that starts
# at the same time: the first caller builds it under a lock, the others wait for it.
# Wine writes the prefix's files early, so a marker written once it has finished says "ready".
prepare() {
  ready="$WINEPREFIX/.ready"
  if [ -f "$ready" ]; then return 0; fi
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$ready" ]; then
      if ! wineboot --init >"$WINEPREFIX.log" 2>&1 || ! wineserver -w; then
        echo "wine-run.sh: could not create the Wine prefix $WINEPREFIX; see $WINEPREFIX.log" >&2
        exit 1
      fi
      touch "$ready"
    fi
  ) 9>"$WINEPREFIX.lock"
}

case "${1:-}" in
  --prepare)
    prepare
    ;;
  --hold)
    # The wineserver exits a few seconds after its last program. A program started one after
    # another may meet it on its way out and die with "recvmsg: Connection reset by peer", so a
    # caller that starts many in a row keeps one server up for all of them. A server already
    # running may be on its way out too: wait for it to go. One that stays is held by a caller
    # that was killed before its --shutdown: stop it. The held server keeps no test's output
    # open, or ctest would wait for it.
    prepare
    timeout 30 wineserver -w || wineserver -k
    wineserver -p </dev/null >/dev/null 2>&1
    ;;
  --shutdown)
    # Without this the wineserver lingers for a few seconds after the last program.
    if [ -d "$WINEPREFIX" ]; then wineserver -k 2>/dev/null || true; fi
    ;;
  *)
    prepare
    exec wine "$@"
    ;;
esac
