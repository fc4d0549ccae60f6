#!/usr/bin/env bash
# Builds and runs every test (unit and end to end) with CTest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SVREG_BUILD_DIR:-$root/build}
SVREG_BUILD_DIR=$build "$root/scripts/build.sh" -DSVREG_WERROR=ON
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
