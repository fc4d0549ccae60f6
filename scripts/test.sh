#!/usr/bin/env bash
# Builds (warnings as errors) and runs every test, unit and end to end, with CTest. Extra
# arguments go to CMake when the build folder is configured.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SVREG_BUILD_DIR:-$root/build}
SVREG_BUILD_DIR=$build "$root/scripts/build.sh" -DSVREG_WERROR=ON "$@"
# SVREG_CTEST_EXCLUDE: a regular expression of tests to leave out.
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" ${SVREG_CTEST_EXCLUDE:+-E "$SVREG_CTEST_EXCLUDE"}
