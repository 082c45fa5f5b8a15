#!/bin/sh
# Where make test's minutes go: each stage's seconds, in build/test-stages.txt ("NAME SECONDS"
# per command, a stage's commands added up), and the table of them at the end.
#
#   tools/stage.sh --reset           forgets the last run's
#   tools/stage.sh NAME COMMAND...   runs COMMAND and adds its seconds to NAME; fails as it fails,
#                                    and then shows the table so far
#   tools/stage.sh --table           the stages in the order they first ran, and the total
set -eu

figures=$(cd "$(dirname "$0")/.." && pwd -P)/build/test-stages.txt

table() {
  echo "make test, seconds per stage:"
  awk -F '\t' '
    !($1 in seconds) { order[++count] = $1 }
    { seconds[$1] += $2; total += $2 }
    END {
      for (i = 1; i <= count; i++) printf "  %-16s %6d\n", order[i], seconds[order[i]]
      printf "  %-16s %6d\n", "total", total
    }' "$figures"
}

case ${1:-} in
  --reset)
    mkdir -p "$(dirname "$figures")"
    : >"$figures"
    ;;
  --table) table ;;
  "" | -*)
    echo "usage: $0 --reset | --table | NAME COMMAND..." >&2
    exit 2
    ;;
  *)
    name=$1
    shift
    start=$(date +%s)
    status=0
    "$@" || status=$?
    mkdir -p "$(dirname "$figures")"
    printf '%s\t%s\n' "$name" $(($(date +%s) - start)) >>"$figures"
    if [ $status -ne 0 ]; then
      table
      echo "make test: stage $name FAILED"
    fi
    exit $status
    ;;
esac
