#!/usr/bin/env bash
# Configures and builds Quillet from scratch in the given build folder (default: build).
# Extra arguments go to CMake, for example -DQUILLET_SANITIZE=ON.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
shift || true
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$build" -j "$(nproc)"
