#!/usr/bin/env bash
# The test command: installs what is missing, builds the native and the Windows programs and runs
# every test (native under AddressSanitizer + UndefinedBehaviorSanitizer and ThreadSanitizer, the
# Windows build under Wine). Exits non-zero if anything fails.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${LUMERO_BUILD_DIR:-$root/build}
jobs=${LUMERO_JOBS:-$(nproc)}

"$root/scripts/install-deps.sh" || exit 1
. "$root/scripts/wine-env.sh"

failed=0
passed_total=0
failed_total=0

configure_and_build() {  # dir, cmake arguments...
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -G Ninja "$@" >"$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j "$jobs"
}

run_ctest() {  # dir, label, extra ctest arguments...
  local dir=$1 label=$2 out
  shift 2
  out=$(mktemp)
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" "$@" 2>&1 | tee "$out"
  local status=${PIPESTATUS[0]}
  local line total nfailed
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$out" | tail -1)
  if [ -n "$line" ]; then
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    nfailed=$(sed -E 's/.*, ([0-9]+) tests? failed.*/\1/' <<<"$line")
    passed_total=$((passed_total + total - nfailed))
    failed_total=$((failed_total + nfailed))
  fi
  rm -f "$out"
  [ "$status" -eq 0 ] || { echo "FAILED: $label"; failed=1; }
}

mkdir -p "$build"

echo "== native build (AddressSanitizer, UndefinedBehaviorSanitizer, fuzzing)"
if configure_and_build "$build/native" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  "-DLUMERO_SANITIZE=address;undefined" -DLUMERO_FUZZ=ON; then
  run_ctest "$build/native" "native tests"
else
  echo "FAILED: native build"; failed=1
fi

echo "== native build (ThreadSanitizer)"
if configure_and_build "$build/native-tsan" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DLUMERO_SANITIZE=thread; then
  run_ctest "$build/native-tsan" "ThreadSanitizer tests"
else
  echo "FAILED: ThreadSanitizer build"; failed=1
fi

echo "== Windows build (mingw-w64), tests under Wine"
simulator="$build/native/tools/meter_simulator/meter_simulator"
if configure_and_build "$build/windows" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DLUMERO_METER_SIMULATOR="$simulator"; then
  lumero_wine_prepare "$build/windows/wineprefix"
  trap 'lumero_wine_stop "$build/windows/wineprefix"' EXIT
  # A Wine process now and then dies at start-up before running any of our code; such a test
  # gets one more run (CTest prints both), a real failure fails twice.
  run_ctest "$build/windows" "Windows tests under Wine" --repeat until-pass:2
else
  echo "FAILED: Windows build"; failed=1
fi

echo "tests: $passed_total passed, $failed_total failed"
exit $failed
