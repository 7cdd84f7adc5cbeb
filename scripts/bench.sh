#!/usr/bin/env bash
# Builds every benchmark (native, Release, LUMERO_BENCH=ON) into build/bench and runs each one.
# Arguments are passed to every benchmark (for example --benchmark_filter=decode).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LUMERO_BENCH_DIR:-$root/build/bench}
jobs=${LUMERO_JOBS:-$(nproc)}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMERO_BENCH=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >"$build.configure.log" 2>&1 ||
  { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j "$jobs" --target lumero_benchmarks

status=0
while IFS= read -r bench; do
  echo "== ${bench#"$build"/}"
  "$bench" "$@" || status=1
done < <(find "$build" -type f -name '*_benchmark' -perm -u+x | sort)
exit $status
