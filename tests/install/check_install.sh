#!/usr/bin/env bash
# Installs the build into a temporary prefix and builds a small program against it twice: with
# find_package(SVRegistration) and with pkg-config.
set -euo pipefail
build=$1
source_dir=$(cd "$(dirname "$0")" && pwd)
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
cmake -S "$source_dir" -B "$prefix/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$prefix/consumer" >/dev/null
LD_LIBRARY_PATH="$prefix/lib" "$prefix/consumer/consumer" | grep -qx "rOK 0"
PKG_CONFIG_PATH="$prefix/lib/pkgconfig" c++ -std=c++20 "$source_dir/consumer.cpp" -o "$prefix/by-pkg-config" \
  $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs svregistration)
LD_LIBRARY_PATH="$prefix/lib" "$prefix/by-pkg-config" | grep -qx "rOK 0"
echo "installed package works through find_package and pkg-config"
