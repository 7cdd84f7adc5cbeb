#!/usr/bin/env bash
# Builds every benchmark (preset "bench": native, Release, LUMERO_BENCH=ON) into build/bench and
# runs each one. Arguments are passed to every benchmark (for example --benchmark_filter=decode).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=$root/build/bench
jobs=${LUMERO_JOBS:-$(nproc)}

mkdir -p "$root/build"
cmake --preset bench >"$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build --preset bench -j "$jobs" --target lumero_benchmarks

status=0
while IFS= read -r bench; do
  echo "== ${bench#"$build"/}"
  "$bench" "$@" || status=1
done < <(find "$build" -type f -name '*_benchmark' -perm -u+x | sort)
exit $status
