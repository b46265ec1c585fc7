#!/bin/sh
# Installs the build in $1 into a scratch prefix, checks that every package
# carries the project's one version (the file VERSION), then builds the
# consumer against it twice, through find_package(tav) and through
# pkg-config (whose flags alone must select C++20), and runs both. $2 is
# this folder, $3 the C++ compiler.
set -eu
build=$1 here=$2 cxx=$3
root=$here/../..
work=$(mktemp -d "${TMPDIR:-/tmp}/tav-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
version=$(cat "$root/VERSION")
pc=$(find "$work/prefix" -name tav.pc)
export PKG_CONFIG_PATH="${pc%/*}"
same() { [ "$1" = "$2" ] || { echo "$3 says $1, VERSION says $2"; exit 1; }; }
same "$(pkg-config --modversion tav)" "$version" "pkg-config"
same "$("$work/prefix/bin/tav_convert" --version)" "tav_convert $version" "tav_convert --version"
same "$(sed -n 's/^set(PACKAGE_VERSION "\(.*\)")$/\1/p' "$(find "$work/prefix" -name tavConfigVersion.cmake)")" \
     "$version" "the CMake package"
same "$(sed -n 's/^  "version": "\(.*\)",$/\1/p' "$root/web/package.json")" "$version" "web/package.json"
same "$(sed -n 's/^#define TAV_VERSION_STRING "\(.*\)"$/\1/p' "$work/prefix/include/tav/version.h")" \
     "$version" "tav/version.h"
for f in share/doc/tav2005/LICENSE share/doc/tav2005/README.md share/man/man1/tav_convert.1; do
  [ -f "$work/prefix/$f" ] || { echo "$f not installed"; exit 1; }
done
cmake -S "$here" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$work/prefix" \
      -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$work/cmake" >/dev/null
"$work/cmake/consumer"
# shellcheck disable=SC2046
"$cxx" "$here/consumer.cpp" $(pkg-config --cflags --libs tav) -o "$work/consumer_pc"
"$work/consumer_pc"
# Linked statically, with what the library's own dependencies need.
# shellcheck disable=SC2046
"$cxx" -static "$here/consumer.cpp" $(pkg-config --cflags --libs --static tav) -o "$work/consumer_static"
"$work/consumer_static"
