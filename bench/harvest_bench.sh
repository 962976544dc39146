#!/usr/bin/env bash
# Harvest benchmark: 200 products, 5 feed pages each, 20 reviews a page, no pause.
# Starts the simulated marketplace on 127.0.0.1, runs `quillet-cli harvest` over all its
# products under /usr/bin/time, then fetches the very same URL list (taken from the
# marketplace's request log) with a bare libcurl loop, and prints both.
#
# usage: bench/harvest_bench.sh [BUILD-DIR]   (a build with -DQUILLET_BUILD_BENCH=ON)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"

usage() {
  cat <<'USAGE'
Usage: bench/harvest_bench.sh [BUILD-DIR]

Harvests 200 products of the simulated marketplace with quillet-cli and with a bare libcurl
loop over the same URLs, and prints both. BUILD-DIR (default: build-bench) is built with
-DQUILLET_BUILD_BENCH=ON in Release when the programs are missing. OUT_DIR=DIR keeps the
articles there; KEEP=1 keeps the work folder.

  --help   this text
USAGE
}

build="$here/build-bench"
for arg in "$@"; do
  case "$arg" in
    --help|-h) usage; exit 0 ;;
    -*) echo "harvest_bench.sh: unknown option \"$arg\"" >&2; usage >&2; exit 2 ;;
  esac
done
[ $# -le 1 ] || { echo "harvest_bench.sh: one build folder at most" >&2; usage >&2; exit 2; }
[ $# -eq 0 ] || build="$1"

"$here/scripts/setup.sh" --no-gui   # compilers, libraries and /usr/bin/time
if [ ! -x "$build/bench/bare_fetch" ] || [ ! -x "$build/src/cli/quillet-cli" ]; then
  "$here/scripts/build.sh" "$build" -DQUILLET_BUILD_TESTS=OFF -DQUILLET_BUILD_BENCH=ON -DCMAKE_BUILD_TYPE=Release
fi

work="$(mktemp -d)"; echo "work folder: $work"
trap 'kill "${market_pid:-}" 2>/dev/null || true; [ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT

market=("$build/testmarket/quillet-testmarket" --port 0 --seed 7 --products 200 --pages 5 --reviews-per-page 20)
start_market() {
  rm -f "$work/port.txt"
  "${market[@]}" "$@" > "$work/port.txt" 2> "$work/market.log" &
  market_pid=$!
  for _ in $(seq 100); do [ -s "$work/port.txt" ] && break; sleep 0.1; done
  port="$(head -n1 "$work/port.txt" | tr -dc '0-9')"
  [ -n "$port" ] || { echo "the simulated marketplace did not start"; exit 1; }
}
stop_market() { kill -TERM "$market_pid"; wait "$market_pid" || true; market_pid=""; }

start_market --dump-catalogue "$work/catalogue.txt" --log-requests "$work/requests.txt"

# Every product of the catalogue, one ID a line.
awk -F'\t' '$1 == "product" { print $2 }' "$work/catalogue.txt" > "$work/ids.txt"
echo "products: $(wc -l < "$work/ids.txt")"

hosts="item.taobao.com detail.tmall.com rate.taobao.com rate.tmall.com"
connect=()
for h in $hosts; do connect+=(--connect-to "$h:80:127.0.0.1:$port"); done

/usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" \
  "$build/src/cli/quillet-cli" harvest --ids "$work/ids.txt" --start 1 --type all --pages 5 --delay 0 \
  --min-chars 0 --naming id --out "${OUT_DIR:-$work/out}" --settings "$work/settings.ini" "${connect[@]}" > "$work/harvest.log"
read -r wall user sys peak < "$work/time.txt"
articles=$(ls "${OUT_DIR:-$work/out}" | wc -l)
reviews=$(awk -F'\t' '$1 == "review"' "$work/catalogue.txt" | wc -l)
stop_market
cp "$work/requests.txt" "$work/urls.txt"
requests=$(wc -l < "$work/urls.txt")

# The same marketplace again (same seed), for the bare loop.
start_market

bare_connect=()
for h in $hosts; do bare_connect+=("$h:80:127.0.0.1:$port"); done
bare="$("$build/bench/bare_fetch" "$work/urls.txt" "${bare_connect[@]}")"
bare_wall="$(echo "$bare" | awk '{print $NF}')"

cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
echo "harvest: wall ${wall}s, cpu ${cpu}s, peak ${peak} KiB, ${articles} articles, ${requests} requests"
echo "catalogue reviews: ${reviews}; cpu per review: $(awk -v c="$cpu" -v r="$reviews" 'BEGIN { printf "%.1f", c * 1e6 / r }') us"
echo "bare libcurl loop over the same ${requests} URLs: ${bare}"
echo "ratio harvest / bare: $(awk -v h="$wall" -v b="$bare_wall" 'BEGIN { printf "%.2f", h / b }')"
