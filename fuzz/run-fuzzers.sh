#!/usr/bin/env bash
# Runs the fuzz targets of a fuzz build: each target first replays its seed
# corpus (every seed once), then fuzzes for its share of the time with its
# dictionary, starting from the seeds and from what earlier runs found
# (kept in <build>/fuzz-work/<target>/corpus). Any crash, leak, timeout
# (-timeout=5), out-of-memory or sanitizer report fails the run; the report,
# the reproducer's path and the input in hex are printed.
#
#   run-fuzzers.sh [--quiet] <build folder> --total <s> | --each <s> [target...]
#     --total s  all targets together take about s seconds of wall time
#                (MEASURE_FUZZ_JOBS at once, default: the processor count)
#     --each s   every target fuzzes for s seconds
#     --quiet    one line on success instead of a line per target
set -euo pipefail

quiet=0
if [ "${1:-}" = --quiet ]; then quiet=1; shift; fi
build=${1:?build folder}
mode=${2:?--total or --each}
seconds=${3:?seconds}
shift 3
manifest="$build/fuzz/targets.txt"
work="$build/fuzz-work"
jobs=${MEASURE_FUZZ_JOBS:-$(nproc)}
[ "$jobs" -ge 1 ] || jobs=1

declare -A program seeds dictionary
names=()
while read -r name binary corpus dict; do
  program[$name]=$binary seeds[$name]=$corpus dictionary[$name]=$dict
  names+=("$name")
done <"$manifest"
if [ $# -gt 0 ]; then
  for name in "$@"; do
    [ -n "${program[$name]:-}" ] || { echo "no fuzz target '$name' (targets: ${names[*]})" >&2; exit 2; }
  done
  names=("$@")
fi

case "$mode" in
  --each) share=$seconds ;;
  # The targets run $jobs at a time, in rounds; a few seconds of each go to
  # the replay and to loading the corpus.
  --total) share=$(( seconds / ((${#names[@]} + jobs - 1) / jobs) - 3 )) ;;
  *) echo "unknown mode $mode" >&2; exit 2 ;;
esac
[ "$share" -ge 1 ] || share=1

# Stack traces with file and line; no recovery after a first report.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

# Bounds every target must keep: a few kilobytes of input may not make a
# parser allocate hundreds of megabytes or run for seconds.
limits=(-timeout=5 -rss_limit_mb=2048 -malloc_limit_mb=256 -max_len=4096)

# run_target <name>: replay, then fuzz; the outcome in $work/<name>/result.
run_target() {
  local name=$1 binary=${program[$1]} corpus=${seeds[$1]} dict=${dictionary[$1]}
  local dir="$work/$name"
  mkdir -p "$dir/corpus" "$dir/artifacts"
  rm -f "$dir/result" "$dir"/artifacts/*
  local -a seedfiles=("$corpus"/*)
  if ! "$binary" "${limits[@]}" -artifact_prefix="$dir/artifacts/" "${seedfiles[@]}" >"$dir/replay.log" 2>&1; then
    local failed
    failed=$(grep -ao 'Running: .*' "$dir/replay.log" | tail -n 1 | cut -d' ' -f2-)
    echo "replay $dir/replay.log ${failed:-?}" >"$dir/result"
    return
  fi
  local -a options=("${limits[@]}" -max_total_time="$share" -print_final_stats=1
                    -artifact_prefix="$dir/artifacts/")
  [ "$dict" = - ] || options+=(-dict="$dict")
  if ! "$binary" "${options[@]}" "$dir/corpus" "$corpus" >"$dir/fuzz.log" 2>&1; then
    local unit
    unit=$(grep -ao 'Test unit written to .*' "$dir/fuzz.log" | tail -n 1 | cut -d' ' -f5-)
    echo "fuzz $dir/fuzz.log ${unit:-?}" >"$dir/result"
    return
  fi
  local runs cov
  runs=$(grep -ao 'stat::number_of_executed_units: [0-9]*' "$dir/fuzz.log" | grep -o '[0-9]*$' || echo 0)
  cov=$(grep -aE '^#[0-9]+' "$dir/fuzz.log" | tail -n 1 | grep -o 'cov: [0-9]* ft: [0-9]* corp: [0-9]*/[0-9a-zA-Z]*' || true)
  echo "ok ${runs:-0} ${cov:-}" >"$dir/result"
}

start=$SECONDS
running=0
for name in "${names[@]}"; do
  if [ "$running" -ge "$jobs" ]; then wait -n || true; running=$((running - 1)); fi
  run_target "$name" &
  running=$((running + 1))
done
wait

failures=0
total=0
for name in "${names[@]}"; do
  dir="$work/$name"
  read -r outcome log unit <"$dir/result" || { outcome=lost log=- unit=-; }
  if [ "$outcome" = ok ]; then
    set -- $log $unit
    total=$((total + $1))
    [ "$quiet" = 1 ] || printf '[fuzz] %-20s %10s inputs  %s\n' "$name" "$1" "${*:2}"
    continue
  fi
  failures=$((failures + 1))
  echo "FAILED: fuzz target $name ($outcome; log: $log)" >&2
  if [ -f "$log" ]; then
    # The report: from the first sanitizer or libFuzzer error line on.
    LC_ALL=C awk '/==[0-9]+==ERROR|ERROR: libFuzzer|runtime error|Timeout|==[0-9]+== ERROR/ {p=1} p' "$log" | head -n 80 >&2
  fi
  if [ -n "$unit" ] && [ -f "$unit" ]; then
    echo "reproducer: $unit ($(wc -c <"$unit") bytes); run it again with: ${program[$name]} $unit" >&2
    echo "input (hex):" >&2
    od -A x -t x1z -v "$unit" | head -n 256 >&2
  fi
done
if [ "$failures" -gt 0 ]; then exit 1; fi
if [ "$quiet" = 1 ]; then
  echo "[fuzz] ${#names[@]} targets: seeds replayed, $total inputs fuzzed in $((SECONDS - start)) s, no finding"
fi
