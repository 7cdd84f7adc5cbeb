#!/usr/bin/env bash
# A day of polling in minutes: "scripts/endurance/day.sh [POLLS]" (default 86400, one a second
# for a day). The acquisition loop runs over a scripted meter with a fake clock in a native
# Release build without sanitizers (preset "bench"), so the heap figures are the program's own.
# Fails when an event is lost, doubled or wrong, the heap grows, or the run hangs. glibc's
# per-thread cache is off for the run: its slow fill over the first few hundred polls counts as
# heap in use and would blur the figure by a few kilobytes.
# endurance-default: 86400
# endurance-seconds: 1 + 0.00003 per unit
# endurance-minimum: 100
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
polls=${1:-86400}
build=$root/build/bench
jobs=${LUMERO_JOBS:-$(nproc)}

"$root/scripts/install-deps.sh"
mkdir -p "$root/build"
echo "day: building endurance_day (preset bench)"
cmake --preset bench >"$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j "$jobs" --target endurance_day >"$build.day.log" 2>&1 ||
  { cat "$build.day.log"; exit 1; }
. "$root/scripts/progress.bash"
lumero_progress_start "day: $polls polls" "$(lumero_expected_seconds "$0" "$polls")"
status=0
GLIBC_TUNABLES=glibc.malloc.tcache_count=0 "$build/tools/endurance/day/endurance_day" "$polls" ||
  status=$?
lumero_progress_stop
exit $status
