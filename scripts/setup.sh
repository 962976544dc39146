#!/usr/bin/env bash
# Installs the Debian packages Quillet needs to build, test and benchmark, skipping those
# already there: the compilers and libraries of the core, Qt 6 and the CJK fonts of the
# desktop program, and Xvfb with a small window manager for its screenshots.
# With --fuzz, also clang and libFuzzer for the fuzz targets (scripts/fuzz.sh).
set -euo pipefail

usage() {
  cat <<'USAGE'
Usage: scripts/setup.sh [--no-gui] [--fuzz]

Installs what is missing of the Debian 12 packages Quillet needs (apt-get, as root or
through sudo).

  --no-gui   only what the core and the command line need (no Qt, fonts or X server)
  --fuzz     also clang and libFuzzer, for scripts/fuzz.sh
  --help     this text
USAGE
}

gui=1
fuzz=0
for arg in "$@"; do
  case "$arg" in
    --help|-h) usage; exit 0 ;;
    --no-gui) gui=0 ;;
    --fuzz) fuzz=1 ;;
    *) echo "setup.sh: unknown argument \"$arg\"" >&2; usage >&2; exit 2 ;;
  esac
done

packages=(
  build-essential cmake ninja-build pkg-config ccache
  libpcre2-dev libcurl4-openssl-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  time
)
if [ "$gui" = 1 ]; then
  packages+=(
    # Qt 6 Widgets and SVG (the banner's pictures), OpenGL headers its CMake files look for
    qt6-base-dev qt6-svg-dev libgl-dev
    # 宋体 and 黑体 on Linux: Song/Ming serif and sans CJK fonts
    fonts-noto-cjk fonts-arphic-uming fonts-wqy-microhei
    # screenshots and the desktop benchmark: a real X server, window frames, input
    xvfb xauth openbox xdotool
  )
fi
if [ "$fuzz" = 1 ]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
