#!/bin/sh
# Checks three rules of the library's code and prints every breach:
#   - the static library LIBRARY defines no global function outside
#     namespace tav (its internals live in tav::detail or have internal
#     linkage); instances of the standard library's templates and symbols
#     the compiler makes (thunks, vtables, guards) are allowed;
#   - no function of the program code (src/, apps/, python/, web/glue.cpp)
#     is longer than 60 lines (universal-ctags);
#   - no file of the program code (those, and the JavaScript package and
#     page in web/) is longer than 600 lines.
#
#     scripts/check_code.sh LIBRARY
#
# Exit status 0 when both hold, 1 on a breach, 77 when nm or ctags is
# missing (a skipped test; under CI, with CI set, a failure).
set -eu
library=${1:?usage: check_code.sh LIBRARY}
cd "$(dirname "$0")/.."
max_lines=60
max_file_lines=600

for tool in nm c++filt ctags; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "$tool not found: code checks not run (scripts/setup installs it)"
    [ -n "${CI:-}" ] && exit 1
    exit 77
  fi
done
if ! ctags --version 2>/dev/null | grep -q 'Universal Ctags'; then
  echo "ctags is not universal-ctags: code checks not run"
  [ -n "${CI:-}" ] && exit 1
  exit 77
fi

status=0

# Defined functions (T) and weak definitions (W, inline functions and
# template instances), by mangled name: N3tav... is namespace tav, St, Sa,
# Sb, Ss, Si, So, Sd and 9__gnu_cxx the standard library's, 8nlohmann the
# instances of the JSON library's header templates, _ZT and _ZG the
# compiler's own, and <new>'s placement new and delete, which an unoptimised
# build emits as weak copies. A local entity (_ZZ) belongs to the function
# around it.
outside=$(nm --defined-only "$library" | awk '$2 == "T" || $2 == "W" { print $3 }' |
  grep -Ev '^_ZZ?(N[rVKRO]*)?(3tav|St|S[absiod]|9__gnu_cxx|8nlohmann)' |
  grep -Ev '^_Z(T|G)|^_Zn[wa][jm]Pv$|^_Zd[la]PvS_$' | sort -u | c++filt || true)
if [ -n "$outside" ]; then
  echo "global functions outside namespace tav in $library:"
  echo "$outside" | sed 's/^/  /'
  status=1
fi

# Functions longer than the limit, as FILE:LINE NAME (LINES lines).
long=$( (find src apps python -name '*.cpp' -o -name '*.h'; echo web/glue.cpp) | sort |
  xargs ctags --kinds-c++=f --fields=+ne -o - |
  awk -F'\t' -v max="$max_lines" '{
      line = 0; end = 0
      for (i = 4; i <= NF; i++) {
        if ($i ~ /^line:/) line = substr($i, 6)
        if ($i ~ /^end:/) end = substr($i, 5)
      }
      if (end - line + 1 > max) printf "  %s:%d %s (%d lines)\n", $2, line, $1, end - line + 1
    }')
if [ -n "$long" ]; then
  echo "functions longer than $max_lines lines:"
  echo "$long"
  status=1
fi

# Files longer than the limit, as FILE (LINES lines).
big=$( (find src apps python -name '*.cpp' -o -name '*.h' -o -name '*.py'
        find web -path web/node_modules -prune -o -path web/dist -prune -o -path web/site -prune -o \
          -name '*.js' -print -o -name '*.cpp' -print) | sort |
  xargs wc -l | awk -v max="$max_file_lines" '$2 != "total" && $1 > max { printf "  %s (%d lines)\n", $2, $1 }')
if [ -n "$big" ]; then
  echo "files longer than $max_file_lines lines:"
  echo "$big"
  status=1
fi

[ $status -eq 0 ] && echo "no global function outside tav::, no function over $max_lines lines," \
  "no file over $max_file_lines lines"
exit $status
