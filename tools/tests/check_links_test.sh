#!/usr/bin/env bash
# tools/check_links.sh on a stand-in checkout, one Markdown file per row: the links that resolve
# pass, a missing file and a missing anchor are each reported, as what they are, and fail it.
set -uo pipefail

here=$(cd "$(dirname "$0")/../.." && pwd -P)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tools" "$work/docs"
cp "$here/tools/check_links.sh" "$work/tools/"
cat >"$work/docs/target.md" <<'EOF'
# Target

## Make targets, in order

```sh
# Not a heading
```
EOF

git -C "$work" init --quiet
git -C "$work" add docs/target.md

failures=0
passed=0
# the link | what check_links.sh says of it ("" when it resolves)
while IFS='|' read -r link wanted; do
  printf '# Row\n\nSee %s.\n' "$link" >"$work/docs/row.md"
  output=$("$work/tools/check_links.sh" docs/row.md 2>&1)
  status=$?
  target=${link#*(}
  if [ -z "$wanted" ]; then
    if [ $status -ne 0 ] || ! grep -q '^links: 0 broken' <<<"$output"; then
      echo "FAILED: $link: wanted it to resolve; got: $output"
      failures=$((failures + 1))
      continue
    fi
  elif [ $status -eq 0 ] || ! grep -qF "docs/row.md:3: broken link ${target%)}" <<<"$output" ||
    ! grep -qF "$wanted" <<<"$output" || ! grep -q '^links: 1 broken' <<<"$output"; then
    echo "FAILED: $link: wanted '$wanted'; got (status $status): $output"
    failures=$((failures + 1))
    continue
  fi
  passed=$((passed + 1))
done <<'EOF'
[a file](target.md)|
[a heading](target.md#make-targets-in-order)|
[its own heading](#row)|
[a folder](../tools)|
[a site](https://example.invalid/nothing.md)|
`[code](nothing.md)`|
[a missing file](nothing.md)|no such file in the checkout
[a file outside the checkout](../../etc/hostname)|no such file in the checkout
[a missing anchor](target.md#nowhere)|has no heading with the anchor #nowhere
[a line in code](target.md#not-a-heading)|has no heading with the anchor #not-a-heading
EOF

echo "check_links: $passed passed, $failures failed"
exit $((failures > 0))
