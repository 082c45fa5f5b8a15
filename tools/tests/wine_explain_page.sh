#!/bin/bash
# Fraywick-explain.exe as a player uses it, under Wine: a recording given as its one argument
# (what dropping the file on it does) becomes a page beside it, and the program says where. The
# page must read as HTML and as XML, open with the answer to "did a brawl start?", hold the map,
# and show every text of the recording as text. The recordings come from the native fraywick-sim
# and the native diagnostic build: a whole one with a brawl, in a folder whose name has '&', an
# apostrophe and a letter beyond ASCII; one cut short in the middle of a line, whose texts (the
# guard's script name, the build, Fraywick.ini) hold markup; a quiet one. Last, what a player
# may get wrong: no file, two files, a file that is no recording.
#
#   wine_explain_page.sh NATIVE_FRAYWICK_SIM WINDOWS_BIN_DIR
#
# Exits 77 (skipped) when there is no Windows build or no Wine to run it with.
set -u

sim=$1
windows_bin=$2
explain=$windows_bin/Fraywick-explain.exe

. "$(dirname "$0")/wine_session.sh"
wine_session_start "$windows_bin" Fraywick-explain.exe
if ! command -v xmllint >/dev/null; then
  echo "FAIL: xmllint is missing (Debian: libxml2-utils; tools/install-tools.sh installs it)"
  exit 1
fi
native_diag=$(dirname "$sim")/Fraywick-diag.so
# The tests read the pages themselves: no browser.
export FRAYWICK_EXPLAIN_NO_BROWSER=1

failures=0
fail() {
  echo "FAIL $*"
  failures=$((failures + 1))
}

# Runs Fraywick-explain.exe with the given files (Linux paths) as a player's drop would; its
# output lands in $work/said (line ends as Linux writes them), its exit status in $status.
explain() {
  local files=() file
  for file in "$@"; do files+=("Z:$file"); done
  timeout 120 "$wine_run" "$explain" "${files[@]}" </dev/null 2>"$work/err" | tr -d '\r' >"$work/said"
  status=${PIPESTATUS[0]}
}

# The string value of an XPath expression on the page, read as HTML.
html_value() {
  xmllint --html --xpath "$2" "$1" 2>/dev/null
}

# explains NAME RECORDING HEADLINE REASON...: the page beside RECORDING must parse as XML and as
# HTML (the parser of HTML knows no SVG elements and says so; nothing else), be named in what the
# program said, open with the question and HEADLINE, give each REASON as one item of the
# answer, and hold the map.
explains() {
  local name=$1 recording=$2 headline=$3 reason
  shift 3
  local page=${recording%.txt}.html
  explain "$recording"
  if [ "$status" -ne 0 ]; then
    fail "$name: Fraywick-explain.exe ended with status $status:"
    cat "$work/said" "$work/err"
    return 1
  fi
  if [ ! -f "$page" ] || ! grep -qF "$(basename "$page")" "$work/said"; then
    fail "$name: no page $page, or the program did not say where it is:"
    cat "$work/said"
    ls -l "$(dirname "$recording")"
    return 1
  fi
  if ! xmllint --noout "$page" 2>"$work/xml.err"; then
    fail "$name: the page is not well-formed:"
    head -20 "$work/xml.err"
    return 1
  fi
  xmllint --html --noout "$page" 2>&1 | grep 'HTML parser error' |
    grep -v -E ': Tag (svg|defs|marker|pattern|path|circle|rect|g|text) invalid$' \
      >"$work/html.err"
  if [ -s "$work/html.err" ]; then
    fail "$name: the page does not read as HTML:"
    head -20 "$work/html.err"
    return 1
  fi
  local answer
  answer=$(html_value "$page" 'string(//h1[@id="answer"])')
  if [ "$answer" != "Did a brawl start? $headline" ]; then
    fail "$name: the page opens with '$answer', not the answer 'Did a brawl start? $headline'"
    return 1
  fi
  local items i
  items=$(html_value "$page" 'count(//ul[@id="why"]/li)')
  for ((i = 1; i <= items; i++)); do
    html_value "$page" "string(//ul[@id=\"why\"]/li[$i])"
    echo
  done >"$work/reasons"
  for reason in "$@"; do
    if [ "$(grep -c -F -- "$reason" "$work/reasons")" != 1 ]; then
      fail "$name: the answer does not give the reason '$reason' once:"
      cat "$work/reasons"
      return 1
    fi
  done
  if [ "$(html_value "$page" 'count(//svg[.//circle])')" != 1 ]; then
    fail "$name: the page holds no map"
    return 1
  fi
  echo "ok   $name: $(basename "$page") beside the recording reads as HTML and XML; it answers" \
    "'$headline'"
}

scenario() {
  cat >"$work/$1.scn"
  echo "$work/$1.scn"
}

# A whole recording with a brawl, in a folder that a player's name might be part of.
game="$work/Tom & Jerry's café"
mkdir -p "$game"
if ! "$sim" --plugin "$native_diag" --record "$game/Fraywick-recording.txt" >/dev/null 2>"$work/err"; then
  fail "recording the built-in evening failed:"
  cat "$work/err"
else
  explains "a brawl" "$game/Fraywick-recording.txt" "Yes, at Valentine." \
    "Valentine: a brawl started in frame 190, 3.024 s in: event 0x2CA3408A within 8 m of the saloon"
fi

# The guard holds the plug-in off for two seconds, then the fight at Valentine starts a brawl;
# the recording, its texts given markup, is cut in the middle of the line after frame 60.
held=$(scenario held <<'EOF'
[scenario]
frames = 300
[ped]
name = Player
model = PLAYER_ZERO
player = yes
at = Valentine + 0, -9, 0
[ped]
name = Amos
model = A_M_M_VALTOWNFOLK_01
at = Valentine + 1, 0, 0
[event]
type = 0x86D43C6C
at = Valentine
from = 0
until = 8000
[guard]
from = 0
until = 2000
[Fraywick.ini]
[Fraywick]
; <i>Tom & "Jerry"</i>
EOF
)
if ! "$sim" "$held" --plugin "$native_diag" --record "$work/held.txt" >/dev/null 2>"$work/err"; then
  fail "recording $held failed:"
  cat "$work/err"
else
  cut="$game/Fraywick-recording-1.txt"
  sed -e 's/queryByName "mudtown2"/queryByName "<b>mud\&town\\"2<\/b>"/' \
    -e '2s/ build .*/ build <script>alert("\&")<\/script>/' "$work/held.txt" >"$work/edited.txt"
  offset=$(grep -b -m 1 '^61 ' "$work/edited.txt" | cut -d: -f1)
  head -c $((offset + 10)) "$work/edited.txt" >"$cut"
  if explains "cut short, markup in its texts" "$cut" "No." \
    "The game's script \"<b>mud&town\"2</b>\" was loaded, so the plug-in held off for 60 of 60 frames (all of them)." \
    "never tested for a trigger event." \
    "The recording was cut short after frame 60: the game ended without unloading the plug-in"; then
    page=${cut%.txt}.html
    if [ "$(html_value "$page" 'count(//b|//i|//script)')" != 0 ] ||
      ! html_value "$page" 'string(//pre[last()])' | grep -qxF '; <i>Tom & "Jerry"</i>' ||
      ! html_value "$page" 'string(//p[@class="from"])' | grep -qF '(<script>alert("&")</script>)'; then
      fail "cut short: the recording's texts do not show as text on the page:"
      grep -n -e 'Jerry' -e 'script' -e 'mud' "$page" | head
    else
      echo "ok   cut short: its texts show as text, none as markup"
    fi
  fi
fi

quiet=$(scenario quiet <<'EOF'
[scenario]
frames = 100
[ped]
name = Player
model = PLAYER_ZERO
player = yes
at = Valentine + 0, -9, 0
EOF
)
if ! "$sim" "$quiet" --plugin "$native_diag" --record "$work/quiet.txt" >/dev/null 2>"$work/err"; then
  fail "recording $quiet failed:"
  cat "$work/err"
else
  explains "a quiet evening" "$work/quiet.txt" "No." \
    "All 13 saloons (Valentine, Valentine2, Rhodes," \
    "no trigger event within 8 m in any of the 2 scans that tested them."
fi

# What a player may get wrong gets plain words and no page.
wrong() {
  local name=$1 says=$2
  shift 2
  explain "$@"
  if [ "$status" -ne 2 ] || ! grep -qF "$says" "$work/said" ||
    ! grep -qF "drag the file Fraywick-recording.txt" "$work/said"; then
    fail "$name: status $status, and not the plain words '$says' and what to do:"
    cat "$work/said" "$work/err"
    return
  fi
  echo "ok   $name: says '$says' and what to do"
}
wrong "no file" "Fraywick-explain reads a recording"
wrong "two files" "Drop one recording at a time." "$work/quiet.txt" "$work/held.txt"
wrong "no recording" "This file is not a recording of Fraywick-diag.asi" "$held"
if [ -e "$work/held.scn.html" ]; then fail "a page was written for a file that is no recording"; fi

exit $((failures > 0))
