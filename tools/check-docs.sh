#!/usr/bin/env bash
# Checks that the guide's code comes from the examples: every ```cpp block in docs/*.md must be
# preceded by a line
#   <!-- from examples/NAME.cpp: REGION -->
# and equal the lines between "// [docs:REGION]" and "// [/docs:REGION]" in that example, with
# their common indentation removed. Every marked region must appear in the guide, too.
# Usage: check-docs.sh [SOURCE_DIR]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# Prints the lines of stdin with their common leading blanks removed.
dedent() {
  awk '{ line[NR] = $0; if ($0 ~ /[^ ]/) { match($0, /^ */); if (min == "" || RLENGTH < min) min = RLENGTH } }
       END { for (i = 1; i <= NR; i++) print substr(line[i], min + 1) }'
}

# Writes every checked block of the guide as work/<n>.block with its source in work/<n>.from.
awk -v work="$work" '
  /^<!-- from [^ ]+: [a-z0-9-]+ -->$/ { from = $3 " " $4; sub(/: /, " ", from); pending = 1; next }
  /^```cpp$/ {
    if (!pending) { printf "%s:%d: cpp block without a <!-- from ... --> line\n", FILENAME, FNR; bad = 1 }
    n++; inside = 1; out = work "/" n ".block"; printf "" > out
    print (pending ? from : "none none") " " FILENAME > (work "/" n ".from"); pending = 0; next
  }
  inside && /^```$/ { inside = 0; next }
  inside { print >> out; next }
  { pending = 0 }
  END { exit bad }
' docs/*.md || failures=1

for from in "$work"/*.from; do
  [ -e "$from" ] || continue
  read -r source region page < "$from"
  [ "$source" = none ] && continue
  block=${from%.from}.block
  if [ ! -f "$source" ] || ! grep -q "// \[docs:$region\]" "$source"; then
    echo "$page: no region '$region' in $source"
    failures=1
    continue
  fi
  awk -v r="$region" 'index($0, "// [/docs:" r "]") { inside = 0 } inside { print } index($0, "// [docs:" r "]") { inside = 1 }' \
    "$source" | dedent > "$block.expected"
  if ! diff -u "$block.expected" "$block" > "$block.diff"; then
    echo "$page: the block from $source: $region differs from the example:"
    cat "$block.diff"
    failures=1
  fi
  echo "$source $region" >> "$work/used"
done

# Regions nobody shows are code the guide has lost track of.
for source in examples/*.cpp; do
  for region in $(grep -o '// \[docs:[a-z0-9-]*\]' "$source" | sed 's|// \[docs:||; s|\]||'); do
    if ! grep -qx "$source $region" "$work/used" 2>/dev/null; then
      echo "$source: region '$region' is not shown in docs/"
      failures=1
    fi
  done
done

# The header list names every public header (python3 tools/list-headers.py rewrites it).
for header in $(python3 tools/list-headers.py --names); do
  if ! grep -q "^- \`$header\`" docs/headers.md; then
    echo "docs/headers.md: $header is missing (run python3 tools/list-headers.py)"
    failures=1
  fi
done

if [ "$failures" -ne 0 ]; then
  echo "check-docs: the guide and the examples disagree"
  exit 1
fi
echo "check-docs: every code block of docs/ matches its example"
