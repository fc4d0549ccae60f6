#!/usr/bin/env bash
# Configures and builds the project into build/ (or $SVREG_BUILD_DIR), installing what is missing.
# Extra arguments are CMake options (the folder is configured again when there are any).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SVREG_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
# ccache, when installed, lets another build folder (the demo's, a second checkout) reuse objects.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
if [[ ! -f $build/build.ninja || $# -gt 0 ]]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
fi
cmake --build "$build"
