#!/usr/bin/env bash
# Renders one example incipit to SVG: the record is taken from
# examples/incipits.txt, converted by the converter in a temporary
# directory, and the MusicXML file it writes is engraved by the verovio
# toolkit installed in tests/verovio (`npm ci` there). With --png a PNG is
# made from the SVG as well (rsvg-convert, Debian package librsvg2-bin).
#
# usage: scripts/render_svg.sh [--exe PATH] [--png] IDENTIFIER NUMBER OUT.svg
#   e.g. scripts/render_svg.sh --png 100000008 1.1.1 docs/example.svg
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
exe="$root/build/release/tav2005_10"
png=0
while [ $# -gt 0 ]; do
  case "$1" in
    --exe) exe="$2"; shift 2 ;;
    --png) png=1; shift ;;
    -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
    *) break ;;
  esac
done
if [ $# -ne 3 ]; then
  echo "usage: $0 [--exe PATH] [--png] IDENTIFIER NUMBER OUT.svg" >&2
  exit 2
fi
id="$1" number="$2" out="$3"
toolkit="$root/tests/verovio/node_modules/verovio"
[ -x "$exe" ] || { echo "converter not found: $exe (build it, or give --exe)" >&2; exit 1; }
exe="$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")"
[ -d "$toolkit" ] || { echo "toolkit not installed: run npm ci in tests/verovio" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The record whose first two fields are the identifier and the number.
awk -F '\t' -v id="$id" -v nb="$number" '$1 == id && $2 == nb' \
  "$root/examples/incipits.txt" > "$work/in.txt"
[ -s "$work/in.txt" ] || { echo "no example $id $number in examples/incipits.txt" >&2; exit 1; }

# Enter for the banner and for the closing message.
(cd "$work" && printf '\n\n' | "$exe" -f in.txt > /dev/null)
xml="$(find "$work" -maxdepth 1 -name '*.xml' | head -n 1)"
[ -n "$xml" ] || { echo "the converter wrote no file; see its log:" >&2; cat "$work/tav_errors.log" >&2; exit 1; }

mkdir -p "$(dirname "$out")"
node -e '
const fs = require("fs");
const verovio = require(process.argv[1]);
verovio.module.onRuntimeInitialized = function () {
  const toolkit = new verovio.toolkit();
  toolkit.setOptions({ scale: 50, pageWidth: 1500, pageMarginLeft: 220, pageMarginRight: 20,
                       pageMarginTop: 20, pageMarginBottom: 20, adjustPageHeight: true,
                       adjustPageWidth: true, breaks: "none", header: "none", footer: "none" });
  if (!toolkit.loadData(fs.readFileSync(process.argv[2], "utf8"))) {
    console.error("the toolkit could not load " + process.argv[2]);
    process.exit(1);
  }
  fs.writeFileSync(process.argv[3], toolkit.renderToSVG(1));
};
' "$toolkit" "$xml" "$out"
echo "wrote $out"

if [ "$png" -eq 1 ]; then
  command -v rsvg-convert > /dev/null || { echo "rsvg-convert not found (librsvg2-bin)" >&2; exit 1; }
  # A white background: the SVG itself is transparent.
  rsvg-convert --background-color=white --zoom=1 -o "${out%.svg}.png" "$out"
  echo "wrote ${out%.svg}.png"
fi
