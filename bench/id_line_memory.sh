#!/usr/bin/env bash
# Memory of one huge product-ID line: writes a product-ID file holding one line of MB megabytes
# (digits, no line end), runs `quillet-cli harvest` over it against the simulated marketplace
# on 127.0.0.1 under /usr/bin/time, and prints the peak resident memory beside the line size.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"

usage() {
  cat <<'USAGE'
Usage: bench/id_line_memory.sh [--mb N] [BUILD-DIR]

Peak memory of a harvest over a product-ID file of one N-megabyte line (default 100).
BUILD-DIR (default: build) must hold quillet-cli and quillet-testmarket.

  --mb N   size of the line in megabytes
  --help   this text
USAGE
}

build="$here/build"
mb=100
while [ $# -gt 0 ]; do
  case "$1" in
    --help|-h) usage; exit 0 ;;
    --mb) [ $# -ge 2 ] || { echo "id_line_memory.sh: --mb needs a value" >&2; exit 2; }
          mb="$2"; shift 2 ;;
    -*) echo "id_line_memory.sh: unknown option \"$1\"" >&2; usage >&2; exit 2 ;;
    *) build="$1"; shift ;;
  esac
done
[[ "$mb" =~ ^[0-9]+$ ]] || { echo "id_line_memory.sh: --mb takes a whole number" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "id_line_memory.sh: /usr/bin/time is missing (scripts/setup.sh installs it)" >&2; exit 1; }

work="$(mktemp -d)"
trap 'kill "${market_pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
"$build/testmarket/quillet-testmarket" --port 0 > "$work/port.txt" 2> "$work/market.log" &
market_pid=$!
for _ in $(seq 100); do [ -s "$work/port.txt" ] && break; sleep 0.1; done
port="$(head -n1 "$work/port.txt" | tr -dc '0-9')"
[ -n "$port" ] || { echo "the simulated marketplace did not start"; exit 1; }

head -c "$((mb * 1000000))" /dev/zero | tr '\0' '7' > "$work/ids.txt"
/usr/bin/time -f "%M" -o "$work/rss.txt" "$build/src/cli/quillet-cli" harvest --ids "$work/ids.txt" \
  --out "$work/out" --settings "$work/settings.ini" --connect-to "::127.0.0.1:$port" --delay 0 > /dev/null
rss_kb="$(tail -n1 "$work/rss.txt")"
echo "line: $mb MB, peak resident memory: $((rss_kb / 1024)) MB"
