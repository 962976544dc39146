#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds Quillet and runs the demo: the
# simulated marketplace starts on 127.0.0.1, a sample product-ID file is harvested into a
# fresh folder, and the first article is shown.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/setup.sh"
build="$here/build"
"$here/scripts/build.sh" "$build" -DQUILLET_BUILD_TESTS=OFF -DQUILLET_BUILD_BENCH=OFF
"$build/src/cli/quillet-cli" demo "$@"
