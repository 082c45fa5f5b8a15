#!/usr/bin/env bash
# The lint: clang-tidy over the plug-in's sources (src/) with the checks of .clang-tidy, on the
# native build's compilation database, clang-format over every C++ file of the repository with
# .clang-format, and the relative links of the Markdown files (tools/check_links.sh). Any finding
# fails it.
#
#   tools/lint.sh        (make lint; the native preset must be configured: cmake --preset native)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
database=build/native/compile_commands.json
[ -f "$database" ] || { echo "lint: no $database; run: cmake --preset native" >&2; exit 2; }

mkdir -p build/lint
cmake -DIN="$database" -DOUT=build/lint/compile_commands.json -DSOURCE_DIR="$root" \
  -P tools/lint/compile_db.cmake

status=0
sources=$(git ls-files 'src/*.cpp')
echo "clang-tidy: $(wc -w <<<"$sources") files of src/"
# Two at a time: the machine has two cores. clang-tidy counts the warnings it suppressed in
# code that is not ours on stderr even when quiet; only its findings are shown.
set +e
xargs -P2 -n1 clang-tidy -p build/lint --quiet <<<"$sources" 2>&1 |
  grep -v -E '^[0-9]+ warnings? generated\.$'
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1
set -e

files=$(git ls-files '*.cpp' '*.h')
echo "clang-format: $(wc -w <<<"$files") C++ files"
if ! xargs clang-format --dry-run --Werror <<<"$files"; then
  echo "lint: format them with: clang-format -i FILE..." >&2
  status=1
fi

tools/check_links.sh || status=1

if [ $status -eq 0 ]; then
  echo "lint: no findings"
else
  echo "lint: FAILED" >&2
fi
exit $status
