#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds from scratch and runs every test.
# Set QUILLET_SANITIZE=ON to build and test with AddressSanitizer and UBSan.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/setup.sh"
sanitize="${QUILLET_SANITIZE:-OFF}"
build="$here/build-test"
[ "$sanitize" = "ON" ] && build="$here/build-asan"
rm -rf "$build"
"$here/scripts/build.sh" "$build" -DQUILLET_SANITIZE="$sanitize" -DQUILLET_BUILD_BENCH=OFF
cd "$build"
ctest --output-on-failure -j "$(nproc)"
