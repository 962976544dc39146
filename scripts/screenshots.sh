#!/usr/bin/env bash
# Renders every window of the desktop program on a real X server (Xvfb, with a window manager
# for the frames and the CJK fonts the set-up installs) and saves them as PNG files in
# docs/screenshots/.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"

usage() {
  cat <<'USAGE'
Usage: scripts/screenshots.sh [BUILD-DIR]

Builds the screenshot tool in BUILD-DIR (default: build), starts Xvfb and openbox on a free
display, and writes main.png, main-running.png, text-dialog-help.png, text-dialog-notes.png,
proxy.png, ids-by-shop.png and ids-by-keyword.png into docs/screenshots/.

  --help   this text
USAGE
}

build="$here/build"
for arg in "$@"; do
  case "$arg" in
    --help|-h) usage; exit 0 ;;
    -*) echo "screenshots.sh: unknown option \"$arg\"" >&2; usage >&2; exit 2 ;;
  esac
done
[ $# -le 1 ] || { echo "screenshots.sh: one build folder at most" >&2; usage >&2; exit 2; }
[ $# -eq 0 ] || build="$1"

"$here/scripts/setup.sh"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_BUILD_GUI=ON
fi
cmake --build "$build" --target quillet_screenshots -j "$(nproc)"

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT
display=":$(( 150 + RANDOM % 100 ))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY="$display"
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

mkdir -p "$here/docs/screenshots"
"$build/tests/gui/quillet_screenshots" "$here/docs/screenshots"
