#!/usr/bin/env bash
# Benchmark of the meter link under Wine against the meter simulator: latency from a frame's last
# byte leaving the simulator to its event at the sink, and the host's CPU time per minute of
# polling. Builds the native simulator (build/bench) and the Windows benchmark (build/windows-bench),
# then runs it once, for about a minute and a quarter.
# usage: scripts/bench-meter.sh [READINGS]   (default 70)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=${LUMERO_BENCH_DIR:-$root/build/bench}
windows=${LUMERO_WINDOWS_BENCH_DIR:-$root/build/windows-bench}
jobs=${LUMERO_JOBS:-$(nproc)}
readings=${1:-70}

cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMERO_BENCH=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >"$native.configure.log" 2>&1 ||
  { cat "$native.configure.log"; exit 1; }
cmake --build "$native" -j "$jobs" --target meter_simulator
cmake -S "$root" -B "$windows" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMERO_BENCH=ON \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >"$windows.configure.log" 2>&1 ||
  { cat "$windows.configure.log"; exit 1; }
cmake --build "$windows" -j "$jobs" --target meter_link_benchmark

. "$root/scripts/wine-env.sh"
prefix=$windows/wineprefix
trap 'lumero_wine_stop "$prefix"' EXIT
"$root/scripts/with-meter-simulator.sh" --simulator "$native/tools/meter_simulator/meter_simulator" \
  --prefix "$prefix" --com 7 -- \
  "$root/scripts/wine-run.sh" --prefix "$prefix" "$windows/tests/meter/meter_link_benchmark.exe" \
  "$readings"
