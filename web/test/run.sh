#!/bin/sh
# One stage of the JavaScript tests, for ctest:
#   build           the WebAssembly build of the library (preset wasm), and
#                   its package packed and used from a fresh project
#   package EXE     the package against the program EXE (Node's test runner)
#   page EXE        the page in headless Chromium, against EXE's files
# A missing tool skips the stage with status 77; under CI it fails instead.
set -eu
mode=$1
web=$(cd "$(dirname "$0")/.." && pwd)
root=$(dirname "$web")

skip() {
    if [ "${CI:-}" = true ]; then
        echo "missing: $1" >&2
        exit 1
    fi
    echo "skipped: no $1"
    exit 77
}
command -v emcc >/dev/null 2>&1 || skip "emcc (Debian package emscripten)"
command -v node >/dev/null 2>&1 || skip "node"
node -e 'process.exit(Number(process.versions.node.split(".")[0]) < 18 ? 1 : 0)' || skip "Node 18 or later"

case $mode in
build)
    cd "$root"
    cmake --preset wasm >/dev/null
    cmake --build --preset wasm -j2
    [ -d "$web/node_modules/esbuild" ] && [ -d "$web/node_modules/typescript" ] ||
        skip "node packages (cd web && npm ci)"
    node "$web/bundle.js"
    # The tarball npm pack makes, installed into a fresh project (its
    # dependencies from the npm cache, or the registry when they are not there).
    out="$root/build/wasm/pack"
    rm -rf "$out" && mkdir -p "$out/project"
    (cd "$web" && npm pack --ignore-scripts --silent --pack-destination "$out" >/dev/null)
    cd "$out/project"
    echo '{"type": "commonjs"}' > package.json
    npm install --prefer-offline --no-audit --no-fund --silent "$out"/tav-incipit-*.tgz
    TAV_PACKED="$out/project" exec node --test "$web/test/packed.test.js"
    ;;
package)
    [ -f "$web/dist/tav_wasm.js" ] || skip "WebAssembly build (the test web.build makes it)"
    TAV_EXE=$2 exec node --test "$web/test/convert.test.js"
    ;;
page)
    [ -f "$web/dist/tav_wasm.js" ] || skip "WebAssembly build (the test web.build makes it)"
    [ -x "${CHROMIUM:-/usr/bin/chromium}" ] || skip "chromium (Debian package chromium)"
    [ -d "$web/node_modules/playwright-core" ] && [ -d "$web/node_modules/verovio" ] ||
        skip "node packages (cd web && npm ci)"
    TAV_EXE=$2 exec node --test "$web/test/page.test.js"
    ;;
esac
