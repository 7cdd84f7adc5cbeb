#!/usr/bin/env bash
# Benchmark of the meter link under Wine against the meter simulator: latency from a frame's last
# byte leaving the simulator to its event at the sink, and the host's CPU time per minute of
# polling. Builds the native simulator (preset "bench", build/bench) and the Windows benchmark
# (preset "windows-bench", build/windows-bench), then runs it once, for about a minute and a
# quarter.
# usage: scripts/bench-meter.sh [READINGS]   (default 70)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
native=$root/build/bench
windows=$root/build/windows-bench
jobs=${LUMERO_JOBS:-$(nproc)}
readings=${1:-70}

mkdir -p "$root/build"
cmake --preset bench >"$native.configure.log" 2>&1 || { cat "$native.configure.log"; exit 1; }
cmake --build --preset bench -j "$jobs" --target meter_simulator
cmake --preset windows-bench >"$windows.configure.log" 2>&1 ||
  { cat "$windows.configure.log"; exit 1; }
cmake --build --preset windows-bench -j "$jobs"

. "$root/scripts/wine-env.sh"
prefix=$windows/wineprefix
trap 'lumero_wine_stop "$prefix"' EXIT
lumero_wine_prepare "$prefix" || exit 1
# The benchmark's output comes only at its end (wine-run.sh keeps it in a file meanwhile).
lumero_progress_start "bench-meter: $readings readings" $((readings + 5))
status=0
"$root/scripts/with-meter-simulator.sh" --simulator "$native/tools/meter_simulator/meter_simulator" \
  --prefix "$prefix" --com 7 -- \
  "$root/scripts/wine-run.sh" --prefix "$prefix" "$windows/tests/meter/meter_link_benchmark.exe" \
  "$readings" || status=$?
lumero_progress_stop
exit $status
