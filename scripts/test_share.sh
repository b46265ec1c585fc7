#!/usr/bin/env bash
# Prints the lines of hand-written test code against the lines of program
# code, and the share. Test code: every file under tests/ in any language,
# except the data files under tests/data, installed node packages and JSON
# (package manifests and generated lock files). Program code: src/, include/,
# apps/ (the console program and the batch command), python/ (the bindings)
# and web/ when present, their READMEs left out.
# With --max PERCENT the exit status is 1 when the share is above it.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
  local total=0 n
  while IFS= read -r -d '' f; do
    n=$(wc -l < "$f")
    total=$((total + n))
  done
  echo "$total"
}

tests=$(find tests -type f \
  -not -path 'tests/data/*' -not -path '*/node_modules/*' \
  -not -name '*.json' -not -name '*.pyc' -print0 | count)
dirs=()
for d in src include apps python web; do [ -d "$d" ] && dirs+=("$d"); done
program=$(find "${dirs[@]}" -type f -not -name "*.md" -print0 | count)
share=$((program > 0 ? tests * 1000 / program : 0))
printf 'test lines %d, program lines %d, share %d.%d%%\n' \
  "$tests" "$program" $((share / 10)) $((share % 10))
if [ "${1:-}" = "--max" ]; then
  [ "$share" -le $(( ${2:?percent} * 10 )) ]
fi
