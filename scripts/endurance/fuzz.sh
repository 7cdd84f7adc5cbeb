#!/usr/bin/env bash
# Long fuzzing: "scripts/endurance/fuzz.sh [RUNS [TARGET]]" runs the channel decoder and the frame
# assembly fuzz targets (or only TARGET: channel_decode or frame_assembly) for RUNS executions
# each (default 10,000,000), one after the other, in the preset
# "fuzz" (native Release with UndefinedBehaviorSanitizer: AddressSanitizer would make a long run
# ten times slower; the test command fuzzes briefly under it). Prints executions per second and the
# time of each; fails when a target finds anything (its input is left in build/fuzz/endurance/).
# endurance-default: 10000000
# endurance-seconds: 5 + 0.0007 per unit
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
runs=${1:-10000000}
only=${2:-}
build=$root/build/fuzz
jobs=${LUMERO_JOBS:-$(nproc)}

"$root/scripts/install-deps.sh"
mkdir -p "$root/build"
. "$root/scripts/progress.bash"
echo "fuzz: building the fuzz targets (preset fuzz)"
cmake --preset fuzz >"$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j "$jobs" --target channel_decode_fuzzer frame_assembly_fuzzer \
  >"$build.build.log" 2>&1 || { cat "$build.build.log"; exit 1; }

# libFuzzer's latest count of executions, from the "#N" at the start of its status lines.
fuzz_progress() {
  local count
  count=$(grep -ao '^#[0-9]*' "$1" | tail -n 1)
  [ -n "$count" ] && echo "${count#\#} executions so far"
}

status=0
fuzz() {  # name, executable, seed corpus folders...
  local name=$1 target=$2
  shift 2
  [ -z "$only" ] || [ "$only" = "$name" ] || return 0
  # Inputs that add coverage stay in the build folder, so a later run goes on from them.
  local work=$build/endurance/$name
  mkdir -p "$work/corpus"
  local started result
  started=$(date +%s.%N)
  # Half of the part's time per unit goes to each target.
  lumero_progress_start "fuzz: $name, $runs executions" \
    "$(awk -v s="$(lumero_expected_seconds "$0" "$runs")" 'BEGIN { printf "%.0f", s / 2 }')" \
    fuzz_progress "$work.log"
  if "$target" -runs="$runs" -seed=1 -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" "$@" >"$work.log" 2>&1; then
    result=passed
  else
    result=FAILED
    status=1
    tail -n 40 "$work.log"
  fi
  lumero_progress_stop
  local seconds executed rate
  seconds=$(awk -v from="$started" -v to="$(date +%s.%N)" 'BEGIN { print to - from }')
  executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work.log")
  # libFuzzer's own average divides by whole seconds, so a run under a second shows 0.
  rate=$(awk -v n="${executed:-}" -v s="$seconds" \
    'BEGIN { if (n != "" && s > 0) printf "%.0f", n / s; else print "?" }')
  printf '%s: %s executions in %.1f s (%s per second), corpus %s inputs: %s\n' "$name" \
    "${executed:-?}" "$seconds" "${rate:-?}" "$(find "$work/corpus" -type f | wc -l)" "$result"
}

fuzz channel_decode "$build/tests/channels/fuzz/channel_decode_fuzzer" \
  "$root/tests/channels/fuzz/corpus"
fuzz frame_assembly "$build/tests/meter/fuzz/frame_assembly_fuzzer"
exit $status
