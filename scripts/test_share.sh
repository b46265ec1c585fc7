#!/usr/bin/env bash
# Prints the lines of hand-written test code against the lines of program
# code, and the share, over the files git tracks. Test code: every file under
# tests/ and web/test/ in any language, except the data files under
# tests/data and JSON (package manifests and generated lock files). Program
# code: src/, include/, apps/ (the console program and the batch command),
# python/ (the bindings) and web/ (the WebAssembly glue, the JavaScript API
# and the page), their READMEs and JSON files left out.
# With --max PERCENT the exit status is 1 when the share is above it.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
  local total=0 n f
  while IFS= read -r f; do
    [ -f "$f" ] || continue
    n=$(wc -l < "$f")
    total=$((total + n))
  done
  echo "$total"
}

tests=$(git ls-files -- tests web/test | grep -v -e '^tests/data/' -e '\.json$' | count)
program=$(git ls-files -- src include apps python web \
  | grep -v -e '^web/test/' -e '\.json$' -e '\.md$' | count)
share=$((program > 0 ? tests * 1000 / program : 0))
printf 'test lines %d, program lines %d, share %d.%d%%\n' \
  "$tests" "$program" $((share / 10)) $((share % 10))
if [ "${1:-}" = "--max" ]; then
  [ "$share" -le $(( ${2:?percent} * 10 )) ]
fi
