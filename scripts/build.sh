#!/usr/bin/env bash
# Configures and builds the project into build/ (or $SVREG_BUILD_DIR), installing what is missing.
# Extra arguments are CMake options (the folder is configured again when there are any).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SVREG_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
if [[ ! -f $build/build.ninja || $# -gt 0 ]]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
fi
cmake --build "$build"
