#!/usr/bin/env bash
# The lint: clang-tidy over the plug-in's sources (src/) with the checks of .clang-tidy, on the
# native build's compilation database, clang-format over every C++ file of the repository with
# .clang-format, and the relative links of the Markdown files (tools/check_links.sh). Any finding
# fails it. clang-tidy and clang-format are the chosen LLVM's (tools/toolchain.sh), 16 on Debian 12
# and 19 on Debian 13; the two give the same verdict.
#
#   tools/lint.sh        (make lint; the native preset must be configured: cmake --preset native)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
database=build/native/compile_commands.json
[ -f "$database" ] || { echo "lint: no $database; run: cmake --preset native" >&2; exit 2; }

version_of() {  # "16.0.6"
  "$1" --version | sed -n 's/.*version \([0-9][0-9.]*\).*/\1/p'
}
llvm=$(tools/toolchain.sh --value LLVM_BIN)
tidy=$llvm/clang-tidy
format=$llvm/clang-format
for tool in "$tidy" "$format"; do
  [ -x "$tool" ] || { echo "lint: no $tool; make lint installs it" >&2; exit 2; }
done

mkdir -p build/lint
cmake -DIN="$database" -DOUT=build/lint/compile_commands.json -DSOURCE_DIR="$root" \
  -P tools/lint/compile_db.cmake

status=0
sources=$(git ls-files 'src/*.cpp')
# .clang-tidy names every check, and clang-tidy says nothing of a name it does not know. An older
# one lacks the checks that tools/lint/newer-checks.txt lists, which are named as not run; any
# other unknown name is a misspelling that would check nothing, and fails the lint.
listed=$(sed -n '/^Checks:/,/^[A-Za-z]/s/^ \{1,\}\([^-, ][^, ]*\),\{0,1\} *$/\1/p' .clang-tidy |
  sort)
newer=$(sed -n 's/^\([a-z][^ ]*\)$/\1/p' tools/lint/newer-checks.txt | sort)
known=$("$tidy" --list-checks | sed -n 's/^ \{4\}\([a-z].*\)$/\1/p' | sort)
lacking=$(comm -23 <(echo "$listed") <(echo "$known"))
unknown=$(comm -23 <(echo "$lacking") <(echo "$newer") | grep . || true)
stale=$(comm -13 <(echo "$listed") <(echo "$newer") | grep . || true)
echo "clang-tidy $(version_of "$tidy"):" \
  "$(wc -w <<<"$sources") files of src/, $(($(wc -w <<<"$listed") - $(wc -w <<<"$lacking"))) of" \
  "the $(wc -w <<<"$listed") checks of .clang-tidy"
excused=$(comm -12 <(echo "$lacking") <(echo "$newer") | grep . || true)
if [ -n "$excused" ]; then
  echo "not run by this release, which lacks them:" $excused | fold -s -w 98 | sed "s/^/  /"
fi
if [ -n "$unknown" ]; then
  echo "lint: .clang-tidy names checks that clang-tidy $(version_of "$tidy") does not know, and" \
    "tools/lint/newer-checks.txt does not list as newer (misspelled?):" \
    $unknown >&2
  status=1
fi
if [ -n "$stale" ]; then
  echo "lint: tools/lint/newer-checks.txt lists checks that .clang-tidy does not name:" $stale >&2
  status=1
fi
# Two at a time: the machine has two cores. clang-tidy counts the warnings it suppressed in
# code that is not ours on stderr even when quiet; only its findings are shown.
set +e
xargs -P2 -n1 "$tidy" -p build/lint --quiet <<<"$sources" 2>&1 |
  grep -v -E '^[0-9]+ warnings? generated\.$'
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1
set -e

files=$(git ls-files '*.cpp' '*.h')
echo "clang-format $(version_of "$format"): $(wc -w <<<"$files") C++ files"
if ! xargs "$format" --dry-run --Werror <<<"$files"; then
  echo "lint: format them with: $format -i FILE..." >&2
  status=1
fi

tools/check_links.sh || status=1

if [ $status -eq 0 ]; then
  echo "lint: no findings"
else
  echo "lint: FAILED" >&2
fi
exit $status
