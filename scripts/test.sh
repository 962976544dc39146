#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds from scratch and runs every test
# (the desktop program's tests run on Qt's offscreen platform: no display needed).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"

usage() {
  cat <<'USAGE'
Usage: scripts/test.sh [--sanitize]

Installs what is missing (scripts/setup.sh), builds from scratch into build-test and runs
every suite with CTest.

  --sanitize   build and test with AddressSanitizer and UBSan instead, in build-asan
               (the same as QUILLET_SANITIZE=ON in the environment)
  --help       this text
USAGE
}

sanitize="${QUILLET_SANITIZE:-OFF}"
for arg in "$@"; do
  case "$arg" in
    --help|-h) usage; exit 0 ;;
    --sanitize) sanitize=ON ;;
    *) echo "test.sh: unknown argument \"$arg\"" >&2; usage >&2; exit 2 ;;
  esac
done

"$here/scripts/setup.sh"
build="$here/build-test"
if [ "$sanitize" = "ON" ]; then build="$here/build-asan"; fi
rm -rf "$build"
"$here/scripts/build.sh" "$build" -DQUILLET_SANITIZE="$sanitize" -DQUILLET_BUILD_BENCH=OFF
cd "$build"
ctest --output-on-failure -j "$(nproc)"
