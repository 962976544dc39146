#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds Quillet and runs its demo against
# the simulated marketplace on 127.0.0.1: the desktop program when a display is there (press
# "开始采集" and watch), otherwise the command-line demo, which harvests a sample product-ID
# file into a fresh folder and shows the first article.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"

usage() {
  cat <<'USAGE'
Usage: scripts/demo.sh [--desktop | --cli] [--products N] [--folder DIR]

  --desktop      the desktop program's demo (needs a display)
  --cli          the command-line demo
                 (default: the desktop when $DISPLAY or $WAYLAND_DISPLAY is set)
  --products N   products in the sample list
  --folder DIR   where the command-line demo puts its files
  --help         this text
USAGE
}

mode=""
forward=()
while [ $# -gt 0 ]; do
  case "$1" in
    --help|-h) usage; exit 0 ;;
    --desktop) mode=desktop ;;
    --cli) mode=cli ;;
    --products|--folder)
      [ $# -ge 2 ] || { echo "demo.sh: $1 needs a value" >&2; exit 2; }
      forward+=("$1" "$2"); shift ;;
    *) echo "demo.sh: unknown argument \"$1\"" >&2; usage >&2; exit 2 ;;
  esac
  shift
done
if [ -z "$mode" ]; then
  if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then mode=desktop; else mode=cli; fi
fi

build="$here/build"
if [ "$mode" = desktop ]; then
  for ((i = 0; i < ${#forward[@]}; i += 2)); do
    [ "${forward[i]}" != --folder ] || { echo "demo.sh: --folder belongs to the command-line demo" >&2; exit 2; }
  done
  "$here/scripts/setup.sh"
  "$here/scripts/build.sh" "$build" -DQUILLET_BUILD_TESTS=OFF -DQUILLET_BUILD_BENCH=OFF -DQUILLET_BUILD_GUI=ON
  exec "$build/src/gui/quillet" --demo "${forward[@]}"
fi
"$here/scripts/setup.sh" --no-gui
"$here/scripts/build.sh" "$build" -DQUILLET_BUILD_TESTS=OFF -DQUILLET_BUILD_BENCH=OFF
exec "$build/src/cli/quillet-cli" demo "${forward[@]}"
