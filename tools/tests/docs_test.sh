#!/usr/bin/env bash
# What the texts promise, held to the code, so that they cannot drift from it unseen:
#
#   docs_test.sh examples FRAYWICK_SIM   every ```scenario block in the repository's Markdown
#                                        files runs through fraywick-sim without an error
#   docs_test.sh player-texts            the player readme, the diagnostic readme and
#                                        Fraywick.ini say the same of when Fraywick.ini is read
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"

examples() {
  local sim=$1
  work=$(mktemp -d)  # global: the EXIT trap outlives the function
  trap 'rm -rf "$work"' EXIT
  # One file per example, N.scn, and a line "N FILE LINE" saying where its first line stands.
  git ls-files '*.md' | xargs awk -v work="$work" '
    function unclosed() {
      print at ": this \140\140\140scenario block is never closed" > "/dev/stderr"
      open = 0  # exit runs END, which must not say it twice
      exit 3
    }
    FNR == 1 && open { unclosed() }
    !open && /^ *```scenario *$/ {
      open = 1; n++; at = FILENAME ":" FNR
      print n, FILENAME, FNR + 1
      next
    }
    open && /^ *``` *$/ { open = 0; close(work "/" n ".scn"); next }
    open { print > (work "/" n ".scn") }
    END { if (open) unclosed() }' >"$work/index" || return 1
  local count failed=0 n file line status
  count=$(wc -l <"$work/index")
  if [ "$count" -eq 0 ]; then
    echo "docs: no \`\`\`scenario example in any Markdown file: nothing was checked" >&2
    return 1
  fi
  while read -r n file line; do
    status=0
    "$sim" "$work/$n.scn" >"$work/$n.out" 2>&1 || status=$?
    if [ $status -ne 0 ]; then
      failed=$((failed + 1))
      echo "$file:$line: this scenario example does not run (fraywick-sim exit status $status):" >&2
      # fraywick-sim names the line of the example: name the line of the Markdown file instead.
      awk -v scn="$work/$n.scn" -v file="$file" -v first="$line" '
        (i = index($0, scn ":")) > 0 {
          rest = substr($0, i + length(scn) + 1)
          at = rest + 0
          sub(/^[0-9]+/, "", rest)
          $0 = substr($0, 1, i - 1) file ":" (first + at - 1) rest
        }
        { print "  " $0 }' "$work/$n.out" >&2
    fi
  done <"$work/index"
  echo "docs: $((count - failed)) of $count scenario examples run"
  [ $failed -eq 0 ]
}

# The sentence that says when Fraywick.ini is read, from its first words to the advice that ends
# it, with comment markers, line ends and runs of spaces made one space.
read_sentence() {
  local text
  text=$(sed 's/^; \{0,1\}//' "$1" | tr '\r\n' '  ' | tr -s ' ')
  local start="Fraywick reads Fraywick.ini each time" end="start it again."
  local rest=${text#*"$start"}
  if [ "$rest" = "$text" ] || [[ $rest != *"$end"* ]]; then
    echo "docs: $1 does not say when Fraywick.ini is read ('$start ... $end')" >&2
    return 1
  fi
  echo "$start${rest%%"$end"*}$end"
}

player_texts() {
  local first="tools/release/README.txt.in" expected file said failed=0
  expected=$(read_sentence "$first")
  for file in tools/release/README-diagnostic.txt.in tools/release/Fraywick.ini; do
    said=$(read_sentence "$file") || { failed=1; continue; }
    if [ "$said" != "$expected" ]; then
      printf 'docs: %s says\n  %s\nwhere %s says\n  %s\n' "$file" "$said" "$first" "$expected" >&2
      failed=1
    fi
  done
  [ $failed -eq 0 ] && echo "docs: the three player texts say alike when Fraywick.ini is read"
  [ $failed -eq 0 ]
}

case "${1:-}" in
  examples) examples "${2:?docs_test.sh examples FRAYWICK_SIM}" ;;
  player-texts) player_texts ;;
  *)
    echo "usage: docs_test.sh examples FRAYWICK_SIM | player-texts" >&2
    exit 2
    ;;
esac
