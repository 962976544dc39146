#!/usr/bin/env bash
# Desktop program benchmark, on a real X server (Xvfb) with the CJK fonts:
#  1. start-up: from starting `quillet` to its main window painted for the first time
#     (median of several starts, settings file present);
#  2. memory: a 200-product run (5 feed pages of 20 reviews each, no pause) against the
#     simulated marketplace on 127.0.0.1, started with a click on the run button; the
#     resident size once the end message shows, and the peak.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"

usage() {
  cat <<'USAGE'
Usage: bench/gui_bench.sh [BUILD-DIR]

Measures the desktop program's start-up time and its memory after a 200-product run.
BUILD-DIR (default: build-bench) is built in Release when quillet is missing. STARTS=N
sets the number of timed starts (default 7); KEEP=1 keeps the work folder.

  --help   this text
USAGE
}

build="$here/build-bench"
for arg in "$@"; do
  case "$arg" in
    --help|-h) usage; exit 0 ;;
    -*) echo "gui_bench.sh: unknown option \"$arg\"" >&2; usage >&2; exit 2 ;;
  esac
done
[ $# -le 1 ] || { echo "gui_bench.sh: one build folder at most" >&2; usage >&2; exit 2; }
[ $# -eq 0 ] || build="$1"

"$here/scripts/setup.sh"
if [ ! -x "$build/src/gui/quillet" ] || [ ! -x "$build/testmarket/quillet-testmarket" ]; then
  "$here/scripts/build.sh" "$build" -DQUILLET_BUILD_TESTS=OFF -DQUILLET_BUILD_BENCH=ON -DQUILLET_BUILD_GUI=ON \
    -DCMAKE_BUILD_TYPE=Release
fi
quillet="$build/src/gui/quillet"
cli="$build/src/cli/quillet-cli"

work="$(mktemp -d)"; echo "work folder: $work"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

# A display of our own.
display=":$(( 90 + RANDOM % 100 ))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY="$display"
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 0.5

# The marketplace and a settings file that points every site at it.
"$build/testmarket/quillet-testmarket" --port 0 --seed 7 --products 200 --pages 5 --reviews-per-page 20 \
  --dump-catalogue "$work/catalogue.txt" >"$work/port.txt" 2>"$work/market.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/port.txt" ] && break; sleep 0.1; done
port="$(head -n1 "$work/port.txt" | tr -dc '0-9')"
[ -n "$port" ] || { echo "the simulated marketplace did not start"; exit 1; }
awk -F'\t' '$1 == "product" { print $2 }' "$work/catalogue.txt" > "$work/ids.txt"
: > "$work/none.txt"
# The controls as a 200-product run wants them, stored the way the program stores them.
"$cli" harvest --ids "$work/none.txt" --start 1 --type all --pages 5 --delay 0 --min-chars 0 --naming id \
  --out "$work/out" --settings "$work/settings.ini" --save >/dev/null
# The file is GBK: the start line's key in GBK bytes, so the run starts at the first line.
start_key="$(printf '编辑框序号' | iconv -f UTF-8 -t GBK)"
LC_ALL=C sed -i -e "s|$work/none.txt|$work/ids.txt|" -e "s|^$start_key=.*|$start_key=1|" "$work/settings.ini"
connect=""
for h in item.taobao.com detail.tmall.com rate.taobao.com rate.tmall.com; do
  connect="$connect${connect:+,}$h:80:127.0.0.1:$port"
done
printf '\r\n[Endpoints]\r\nconnectTo=%s\r\n' "$connect" >> "$work/settings.ini"

# Waits until a visible window of the process has exactly this title (xdotool's own name
# matching does not handle Chinese reliably).
wait_for_title() {
  while :; do
    for w in $(xdotool search --onlyvisible --pid "$1" --name . 2>/dev/null); do
      [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$2" ] && return 0
    done
    sleep 0.2
  done
}

# 1. Start-up.
starts="${STARTS:-7}"
times=()
cpus=()
for _ in $(seq "$starts"); do
  cp "$work/settings.ini" "$work/startup.ini"
  t0=$(date +%s%N)
  QUILLET_STARTUP_REPORT=quit /usr/bin/time -f "cpu %U %S" -o "$work/cpu.txt" \
    "$quillet" --settings "$work/startup.ini" 2>"$work/startup.log" >/dev/null
  t1=$(awk '$1 == "main-window-shown" { print $2 }' "$work/startup.log")
  [ -n "$t1" ] || { echo "quillet did not report its main window"; cat "$work/startup.log"; exit 1; }
  times+=($(( (t1 - t0) / 1000000 )))
  # (user + system time of the whole process, which ends right after the first paint)
  cpus+=($(awk '$1 == "cpu" { printf "%d", ($2 + $3) * 1000 }' "$work/cpu.txt"))
done
median() { printf '%s\n' "$@" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
echo "start-up to main window painted: median $(median "${times[@]}") ms over ${starts} starts (${times[*]} ms)"
echo "processor time of those starts: median $(median "${cpus[@]}") ms (${cpus[*]} ms); load average: $(cut -d' ' -f1-3 /proc/loadavg)"

# 2. Memory after a 200-product run.
"$quillet" --settings "$work/settings.ini" >"$work/quillet.log" 2>&1 &
qpid=$!
pids+=("$qpid")
window=$(xdotool search --sync --onlyvisible --pid "$qpid" --name "Quillet" | head -n1)
before=$(awk '/VmRSS/ { print $2 }' "/proc/$qpid/status")
start=$(date +%s%N)
# The run button: group box 3 at (12, 331), the button at (8, 168) inside it, 500 x 32.
xdotool mousemove --window "$window" 260 515 click 1
wait_for_title "$qpid" "信息："
end=$(date +%s%N)
rss=$(awk '/VmRSS/ { print $2 }' "/proc/$qpid/status")
peak=$(awk '/VmHWM/ { print $2 }' "/proc/$qpid/status")
# Shared libraries and font files count whole in the resident size; the proportional size
# shares them out, the private size is what this process alone holds.
pss=$(awk '/^Pss:/ { print $2 }' "/proc/$qpid/smaps_rollup")
private=$(awk '/^Private_(Clean|Dirty):/ { s += $2 } END { print s }' "/proc/$qpid/smaps_rollup")
articles=$(ls "$work/out" 2>/dev/null | wc -l)
echo "200-product run: $(( (end - start) / 1000000 )) ms, ${articles} articles"
echo "memory: ${before} KiB before the run, ${rss} KiB after it, peak ${peak} KiB"
echo "after the run: proportional ${pss} KiB, private ${private} KiB"
