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
# .clang-tidy names every check; an older clang-tidy may lack some of them, and says nothing.
listed=$(sed -n 's/^  \([a-z][a-zA-Z0-9.-]*\),\{0,1\}$/\1/p' .clang-tidy | sort)
known=$("$tidy" --list-checks | sed -n 's/^ \{4\}\([a-z].*\)$/\1/p' | sort)
lacking=$(comm -23 <(echo "$listed") <(echo "$known"))
echo "clang-tidy $(version_of "$tidy"):" \
  "$(wc -w <<<"$sources") files of src/, $(($(wc -w <<<"$listed") - $(wc -w <<<"$lacking"))) of" \
  "the $(wc -w <<<"$listed") checks of .clang-tidy"
if [ -n "$lacking" ]; then
  echo "not run by this release, which lacks them:" $lacking | fold -s -w 98 | sed "s/^/  /"
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
