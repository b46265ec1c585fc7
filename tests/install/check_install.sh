#!/bin/sh
# Installs the build in $1 into a scratch prefix, then builds the consumer
# against it twice, through find_package(tav) and through pkg-config, and
# runs both. $2 is this folder, $3 the C++ compiler.
set -eu
build=$1 here=$2 cxx=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/tav-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$here" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$work/prefix" \
      -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$work/cmake" >/dev/null
"$work/cmake/consumer"
pc=$(find "$work/prefix" -name tav.pc)
flags=$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --cflags --libs tav)
# shellcheck disable=SC2086
"$cxx" -std=c++20 "$here/consumer.cpp" $flags -o "$work/consumer_pc"
"$work/consumer_pc"
