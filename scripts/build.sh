#!/usr/bin/env bash
# Configures and builds Quillet in a build folder.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"

usage() {
  cat <<'USAGE'
Usage: scripts/build.sh [BUILD-DIR] [-DNAME=VALUE ...]

Configures (CMake, Ninja, RelWithDebInfo unless -DCMAKE_BUILD_TYPE says otherwise) and
builds everything into BUILD-DIR (default: build). Each -D definition goes to CMake, e.g.
  -DQUILLET_SANITIZE=ON        AddressSanitizer and UBSan
  -DQUILLET_BUILD_GUI=OFF      leave the Qt desktop program out (ON: fail without Qt 6)
  -DQUILLET_BUILD_TESTS=OFF    -DQUILLET_BUILD_BENCH=OFF

  --help   this text
USAGE
}

build="$here/build"
defines=()
first=1
for arg in "$@"; do
  case "$arg" in
    --help|-h) usage; exit 0 ;;
    -D?*) defines+=("$arg") ;;
    -*) echo "build.sh: unknown option \"$arg\"" >&2; usage >&2; exit 2 ;;
    *)
      if [ "$first" = 1 ] && [ ${#defines[@]} -eq 0 ]; then build="$arg"
      else echo "build.sh: unexpected argument \"$arg\"" >&2; usage >&2; exit 2; fi ;;
  esac
  first=0
done

launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "${defines[@]}"
cmake --build "$build" -j "$(nproc)"
