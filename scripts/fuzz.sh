#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and UBSan) and runs each of them
# for a given time, starting from the seed corpus in fuzz/corpus/<target>. Prints one line per
# target: executions, new inputs kept, findings. Exit status 1 when a target found something
# (its inputs are kept under the build folder's findings/<target>/), 2 on a usage error.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"

usage() {
  cat <<EOF
Usage: scripts/fuzz.sh [options] [target...]

Runs every fuzz target (or the ones named, with or without the "fuzz_" prefix) for a
given time each.

Options:
  -t, --seconds N   how long each target runs (default 60)
  -b, --build DIR   build folder (default: build-fuzz in the repository)
      --no-build    use the targets already built in the build folder
      --no-setup    do not install clang and libFuzzer when they are missing
      --list        list the targets and stop
  -h, --help        this text

New inputs that reach new code are kept in DIR/corpus/<target> between runs; inputs that
break a target go to DIR/findings/<target>/. To replay one:
  DIR/fuzz/<target> DIR/findings/<target>/crash-...
Targets: $(cd "$here/fuzz" && ls -d corpus/*/ | sed 's|corpus/||; s|/||' | tr '\n' ' ')
EOF
}

seconds=60
build="$here/build-fuzz"
do_build=1
do_setup=1
list=0
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    -t|--seconds) seconds="${2:?--seconds needs a number}"; shift 2 ;;
    -b|--build) build="${2:?--build needs a folder}"; shift 2 ;;
    --no-build) do_build=0; shift ;;
    --no-setup) do_setup=0; shift ;;
    --list) list=1; shift ;;
    -h|--help) usage; exit 0 ;;
    -*) echo "fuzz.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
    *) targets+=("${1#fuzz_}"); shift ;;
  esac
done
case "$seconds" in ''|*[!0-9]*) echo "fuzz.sh: --seconds takes a whole number" >&2; exit 2 ;; esac

if [ ${#targets[@]} -eq 0 ]; then
  for dir in "$here"/fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi
if [ "$list" = 1 ]; then
  printf '%s\n' "${targets[@]}"
  exit 0
fi

if [ "$do_build" = 1 ]; then
  [ "$do_setup" = 1 ] && "$here/scripts/setup.sh" --no-gui --fuzz
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DQUILLET_FUZZ=ON -DQUILLET_BUILD_TESTS=OFF -DQUILLET_BUILD_BENCH=OFF -DQUILLET_BUILD_GUI=OFF "${launcher[@]}" >/dev/null
  cmake --build "$build" -j "$(nproc)" --target $(printf 'fuzz_%s ' "${targets[@]}")
fi

# Longest input per target: the ones that compare against a slow step-by-step reference stay
# short so that they run many times; the others get room for block and buffer boundaries.
max_len() {
  case "$1" in
    entities|markers) echo 2048 ;;
    *) echo 8192 ;;
  esac
}

status=0
printf '%-10s %12s %8s %9s\n' target executions new findings
for t in "${targets[@]}"; do
  exe="$build/fuzz/fuzz_$t"
  seeds="$here/fuzz/corpus/$t"
  if [ ! -x "$exe" ] || [ ! -d "$seeds" ]; then
    echo "fuzz.sh: no target named $t" >&2
    status=2
    continue
  fi
  work="$build/corpus/$t"
  findings="$build/findings/$t"
  log="$build/logs/$t.log"
  mkdir -p "$work" "$findings" "$(dirname "$log")"
  before=$(find "$findings" -type f | wc -l)
  set +e
  "$exe" "$work" "$seeds" -max_total_time="$seconds" -max_len="$(max_len "$t")" -timeout=30 \
    -print_final_stats=1 -artifact_prefix="$findings/" >"$log" 2>&1
  rc=$?
  set -e
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  added=$(sed -n 's/^stat::new_units_added: *//p' "$log" | tail -1)
  found=$(($(find "$findings" -type f | wc -l) - before))
  [ "$rc" -ne 0 ] && [ "$found" -eq 0 ] && found=1 # stopped without leaving an input: still a finding
  printf '%-10s %12s %8s %9s\n' "$t" "${runs:-?}" "${added:-?}" "$found"
  if [ "$found" -ne 0 ]; then
    status=1
    grep -m1 -E 'property broken|ERROR: (AddressSanitizer|libFuzzer|UndefinedBehaviorSanitizer)|runtime error' "$log" >&2 || true
    echo "  (log: $log)" >&2
  fi
done
exit "$status"
