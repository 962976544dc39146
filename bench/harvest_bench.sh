#!/usr/bin/env bash
# Harvest benchmark: 200 products, 5 feed pages each, 20 reviews a page, no pause.
#
# Starts the simulated marketplace on 127.0.0.1 and harvests all its products once with
# `quillet-cli harvest` to learn the exact URL list (the marketplace's request log). Then,
# against a fresh marketplace of the same seed, it runs the harvest and a bare libcurl loop
# over that URL list alternately, RUNS times each, and prints the min and median wall time of
# each, the ratio of the medians, the processor time per review and the peak memory of the
# harvest. Alternating runs see the same load of a shared machine; one-shot ratios do not.
#
# usage: bench/harvest_bench.sh [BUILD-DIR]   (a build with -DQUILLET_BUILD_BENCH=ON)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"

usage() {
  cat <<'USAGE'
Usage: bench/harvest_bench.sh [BUILD-DIR]

Harvests 200 products of the simulated marketplace with quillet-cli and fetches the same URLs
with a bare libcurl loop, alternately, and prints min and median of each and their ratio.
BUILD-DIR (default: build-bench) is built with -DQUILLET_BUILD_BENCH=ON in Release when the
programs are missing.

Environment:
  RUNS=N      timed runs of each side (default 5, at least 5)
  PIN=MODE    split: marketplace on CPU 0, clients on CPU 1 (default when 2+ CPUs);
              one: everything on CPU 0; none: no pinning
  OUT=WHERE   tmpfs: articles under /dev/shm (default); disk: under the work folder on disk
  OUT_DIR=DIR articles there instead (overrides OUT)
  KEEP=1      keep the work folder
  ALSO=DIR    a second build whose harvest runs in the same rounds (before/after figures
              under the same load); its median and ratio are printed as well
  BARE=KIND   plain: the bare loop sends libcurl's default request (default);
              harvest-headers: it sends the harvest's request headers, byte for byte

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
runs="${RUNS:-5}"
[ "$runs" -ge 5 ] 2>/dev/null || { echo "harvest_bench.sh: RUNS must be a number of at least 5" >&2; exit 2; }

if [ ! -x "$build/bench/bare_fetch" ] || [ ! -x "$build/src/cli/quillet-cli" ]; then
  "$here/scripts/setup.sh" --no-gui   # compilers, libraries and /usr/bin/time
  "$here/scripts/build.sh" "$build" -DQUILLET_BUILD_TESTS=OFF -DQUILLET_BUILD_BENCH=ON -DCMAKE_BUILD_TYPE=Release
fi
command -v /usr/bin/time >/dev/null || "$here/scripts/setup.sh" --no-gui

work="$(mktemp -d "${TMPDIR:-/tmp}/harvest-bench.XXXXXX")"; echo "work folder: $work"
case "${OUT:-tmpfs}" in
  tmpfs) out_root="$(mktemp -d /dev/shm/harvest-bench-out.XXXXXX)" ;;
  disk) out_root="$work/out" ;;
  *) echo "harvest_bench.sh: OUT is tmpfs or disk" >&2; exit 2 ;;
esac
[ -z "${OUT_DIR:-}" ] || out_root="$OUT_DIR"
cleanup() {
  kill "${market_pid:-}" 2>/dev/null || true
  [ -n "${OUT_DIR:-}" ] || [ "${OUT:-tmpfs}" != tmpfs ] || rm -rf "$out_root"
  [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

# Pinning: the same for both sides, so neither gets a core the other lacks.
pin="${PIN:-}"
if [ -z "$pin" ]; then
  if [ "$(nproc)" -ge 2 ] && command -v taskset >/dev/null; then pin=split; else pin=none; fi
fi
case "$pin" in
  split) market_pin=(taskset -c 0); client_pin=(taskset -c 1) ;;
  one) market_pin=(taskset -c 0); client_pin=(taskset -c 0) ;;
  none) market_pin=(); client_pin=() ;;
  *) echo "harvest_bench.sh: PIN is split, one or none" >&2; exit 2 ;;
esac

market=("$build/testmarket/quillet-testmarket" --port 0 --seed 7 --products 200 --pages 5 --reviews-per-page 20)
start_market() {
  rm -f "$work/port.txt"
  "${market_pin[@]}" "${market[@]}" "$@" > "$work/port.txt" 2> "$work/market.log" &
  market_pid=$!
  for _ in $(seq 100); do [ -s "$work/port.txt" ] && break; sleep 0.1; done
  port="$(head -n1 "$work/port.txt" | tr -dc '0-9')"
  [ -n "$port" ] || { echo "the simulated marketplace did not start"; exit 1; }
}
stop_market() { kill -TERM "$market_pid"; wait "$market_pid" || true; market_pid=""; }

hosts="item.taobao.com detail.tmall.com rate.taobao.com rate.tmall.com"
also="${ALSO:-}"
case "${BARE:-plain}" in
  plain) bare_flags=() ;;
  harvest-headers) bare_flags=(--harvest-headers) ;;
  *) echo "harvest_bench.sh: BARE is plain or harvest-headers" >&2; exit 2 ;;
esac
[ -z "$also" ] || [ -x "$also/src/cli/quillet-cli" ] || { echo "harvest_bench.sh: ALSO has no src/cli/quillet-cli" >&2; exit 2; }
# Processor time is taken with the shell's own timing, to the millisecond (the time program
# rounds to 10 ms, a tenth of a harvest's processor time); the time program gives peak memory.
harvest_once() { # $1: output folder, $2: build (default BUILD-DIR); times the whole process, leaves "wall user sys peak" in $work/time.txt
  rm -rf "$1"
  local cli="${2:-$build}/src/cli/quillet-cli"
  local connect=()
  for h in $hosts; do connect+=(--connect-to "$h:80:127.0.0.1:$port"); done
  local t0 t1 TIMEFORMAT="%3U %3S"
  t0=$(date +%s.%N)
  if ! { time "${client_pin[@]}" /usr/bin/time -f "%M" -o "$work/rusage.txt" \
    "$cli" harvest --ids "$work/ids.txt" --start 1 --type all --pages 5 --delay 0 \
    --min-chars 0 --naming id --out "$1" --settings "$work/settings.ini" "${connect[@]}" \
    > "$work/harvest.log" 2> "$work/harvest.err"; } 2> "$work/cpu.txt"; then
    echo "the harvest failed:" >&2; cat "$work/harvest.err" "$work/harvest.log" >&2; exit 1
  fi
  t1=$(date +%s.%N)
  echo "$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }') $(cat "$work/cpu.txt") $(cat "$work/rusage.txt")" > "$work/time.txt"
}
bare_once() { # times the whole process, prints the wall seconds, leaves "user sys" in $work/bare-rusage.txt
  local connect=()
  for h in $hosts; do connect+=("$h:80:127.0.0.1:$port"); done
  local t0 t1 TIMEFORMAT="%3U %3S"
  t0=$(date +%s.%N)
  # Under the time program as well, so that both sides carry the same wrappers.
  if ! { time "${client_pin[@]}" /usr/bin/time -f "%M" -o "$work/bare-peak.txt" \
    "$build/bench/bare_fetch" "${bare_flags[@]}" "$work/urls.txt" "${connect[@]}" \
    > "$work/bare.log" 2> "$work/bare.err"; } 2> "$work/bare-rusage.txt"; then
    echo "the bare loop failed:" >&2; cat "$work/bare.err" >&2; exit 1
  fi
  t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }'
}

# The URL list: one harvest against a marketplace that logs what it is asked.
start_market --dump-catalogue "$work/catalogue.txt" --log-requests "$work/requests.txt"
awk -F'\t' '$1 == "product" { print $2 }' "$work/catalogue.txt" > "$work/ids.txt"
harvest_once "$out_root/warm-up"
stop_market
cp "$work/requests.txt" "$work/urls.txt"
requests=$(wc -l < "$work/urls.txt")
reviews=$(awk -F'\t' '$1 == "review"' "$work/catalogue.txt" | wc -l)
echo "products: $(wc -l < "$work/ids.txt"), requests: $requests, catalogue reviews: $reviews"
echo "pinning: $pin$( [ "$pin" = split ] && echo " (marketplace on CPU 0, harvest and bare loop on CPU 1)")$( [ "$pin" = one ] && echo " (everything on CPU 0)"), output: $out_root"

# The timed runs, alternating, against one marketplace of the same seed. Every run writes into
# a folder of its own, and the folders are removed only at the end: on a disk, files deleted
# just before a run would make that run pay for the deletion (ext4, for one, passes over the
# inodes freed in the last seconds when it makes a file, each one looked at in turn).
start_market
: > "$work/harvest-walls"; : > "$work/also-walls"; : > "$work/also-cpus"; : > "$work/bare-walls"; : > "$work/cpus"; : > "$work/bare-cpus"; : > "$work/peaks"
for i in $(seq "$runs"); do
  harvest_once "$out_root/run-$i"
  read -r wall user sys peak < "$work/time.txt"
  articles=$(find "$out_root/run-$i" -maxdepth 1 -type f ! -name '.*' | wc -l)
  echo "$wall" >> "$work/harvest-walls"
  awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f\n", u + s }' >> "$work/cpus"
  echo "$peak" >> "$work/peaks"
  also_text=""
  if [ -n "$also" ]; then
    harvest_once "$out_root/also-$i" "$also"
    read -r awall auser asys _ < "$work/time.txt"
    echo "$awall" >> "$work/also-walls"
    awk -v u="$auser" -v s="$asys" 'BEGIN { printf "%.3f\n", u + s }' >> "$work/also-cpus"
    also_text=", second build ${awall}s"
  fi
  bare=$(bare_once)
  echo "$bare" >> "$work/bare-walls"
  awk '{ printf "%.3f\n", $1 + $2 }' "$work/bare-rusage.txt" >> "$work/bare-cpus"
  echo "run $i: harvest ${wall}s (cpu $(tail -n1 "$work/cpus")s, peak ${peak} KiB, $articles articles)${also_text}, bare ${bare}s"
done
stop_market

stats() { sort -g "$1" | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%s %s\n", v[1], m }'; }
read -r hmin hmed < <(stats "$work/harvest-walls")
read -r bmin bmed < <(stats "$work/bare-walls")
read -r cmin cmed < <(stats "$work/cpus")
read -r bcmin bcmed < <(stats "$work/bare-cpus")
peak=$(sort -n "$work/peaks" | tail -n1)
echo "harvest: min ${hmin}s, median ${hmed}s"
echo "bare libcurl loop over the same ${requests} URLs (${BARE:-plain}): min ${bmin}s, median ${bmed}s"
echo "ratio of medians harvest / bare: $(awk -v h="$hmed" -v b="$bmed" 'BEGIN { printf "%.2f", h / b }')"
echo "harvest cpu (user+sys): min ${cmin}s, median ${cmed}s; per review: $(awk -v c="$cmed" -v r="$reviews" 'BEGIN { printf "%.1f", c * 1e6 / r }') us (median)"
echo "bare loop cpu (user+sys): min ${bcmin}s, median ${bcmed}s; harvest cpu beyond it per review: $(awk -v c="$cmed" -v b="$bcmed" -v r="$reviews" 'BEGIN { printf "%.1f", (c - b) * 1e6 / r }') us"
if [ -n "$also" ]; then
  read -r amin amed < <(stats "$work/also-walls")
  read -r acmin acmed < <(stats "$work/also-cpus")
  echo "second build ($also): min ${amin}s, median ${amed}s, ratio of medians $(awk -v h="$amed" -v b="$bmed" 'BEGIN { printf "%.2f", h / b }'), cpu per review $(awk -v c="$acmed" -v r="$reviews" 'BEGIN { printf "%.1f", c * 1e6 / r }') us"
fi
echo "harvest peak memory: ${peak} KiB ($(awk -v p="$peak" 'BEGIN { printf "%.1f", p / 1024 }') MiB)"
