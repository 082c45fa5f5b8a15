#!/usr/bin/env bash
# Every relative link in the repository's Markdown files must lead somewhere: to a file or folder
# of the checkout, and when it names an #anchor, to a heading of that Markdown file. Links with a
# scheme (https:, mailto:) are not followed. Run by tools/lint.sh.
#
#   tools/check_links.sh [FILE.md...]     (default: every tracked *.md file)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mapfile -t tracked < <(git ls-files '*.md')
if [ $# -eq 0 ]; then
  files=("${tracked[@]}")
else
  files=("$@")
fi
declare -A checked
for file in "${files[@]}"; do checked[$file]=1; done
mapfile -t all < <(printf '%s\n' "${tracked[@]}" "${files[@]}" | sort -u)

# One record per heading anchor ("H file slug") and per link ("L file line target") of every
# Markdown file, outside fenced code; code spans show no link, so they are dropped first. Anchors
# are made as the hosting sites make them: lower case, every character but letters, digits,
# spaces, '-' and '_' dropped, spaces as '-', and -1, -2... after repeated headings.
records=$(awk '
  FNR == 1 { fenced = 0; delete seen }
  /^ *(```|~~~)/ { fenced = !fenced; next }
  fenced { next }
  /^#+ / {
    slug = tolower($0)
    sub(/^#+ +/, "", slug); sub(/ +#+ *$/, "", slug)
    gsub(/[^a-z0-9 _-]/, "", slug); gsub(/ /, "-", slug)
    if (seen[slug]++) slug = slug "-" (seen[slug] - 1)
    print "H", FILENAME, slug
  }
  {
    line = $0
    gsub(/`[^`]*`/, "", line)
    if (match(line, /^\[[^]]+\]: +[^ ]+/)) {
      target = substr(line, RSTART, RLENGTH); sub(/^\[[^]]+\]: +/, "", target)
      print "L", FILENAME, FNR, target
    }
    while (match(line, /\]\([^) ]+( "[^"]*")?\)/)) {
      target = substr(line, RSTART + 2, RLENGTH - 3); sub(/ .*/, "", target)
      print "L", FILENAME, FNR, target
      line = substr(line, RSTART + RLENGTH)
    }
  }' "${all[@]}")

broken=0
while read -r kind file line target; do
  if [ "$kind" != L ] || [ -z "${checked[$file]:-}" ]; then continue; fi
  [[ $target =~ ^[a-zA-Z][a-zA-Z0-9+.-]*: ]] && continue  # a scheme: not a file of the checkout
  path=${target%%#*}
  anchor=""
  [[ $target == *#* ]] && anchor=${target#*#}
  if [ -z "$path" ]; then
    resolved=$file
  else
    resolved=$(realpath -m --relative-to="$root" "$(dirname "$file")/$path")
  fi
  if [[ $resolved == ../* ]] || [ ! -e "$resolved" ]; then
    echo "$file:$line: broken link $target: no such file in the checkout" >&2
    broken=$((broken + 1))
  elif [ -n "$anchor" ] && ! grep -qxF "H $resolved $anchor" <<<"$records"; then
    echo "$file:$line: broken link $target: $resolved has no heading with the anchor #$anchor" >&2
    broken=$((broken + 1))
  fi
done <<<"$records"

echo "links: $broken broken in ${#files[@]} Markdown files"
[ $broken -eq 0 ]
