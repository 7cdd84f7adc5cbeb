#!/usr/bin/env bash
# The test command: installs what is missing, builds the native and the Windows programs and runs
# every test (native under AddressSanitizer + UndefinedBehaviorSanitizer and ThreadSanitizer, the
# Windows build under Wine). The builds are the presets of CMakePresets.json, in build/<preset>;
# the benchmarks are compiled, not run. Exits non-zero if anything fails.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=$root/build
jobs=${LUMERO_JOBS:-$(nproc)}

"$root/scripts/install-deps.sh" || exit 1
. "$root/scripts/wine-env.sh"

failed=0
passed_total=0
failed_total=0

configure_and_build() {  # preset
  cmake --preset "$1" >"$build/$1.configure.log" 2>&1 ||
    { cat "$build/$1.configure.log"; return 1; }
  cmake --build --preset "$1" -j "$jobs"
}

run_ctest() {  # preset, label
  local out
  out=$(mktemp)
  ctest --preset "$1" -j "$jobs" 2>&1 | tee "$out"
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
  [ "$status" -eq 0 ] || { echo "FAILED: $2"; failed=1; }
}

mkdir -p "$build"

echo "== documentation: relative links"
"$root/scripts/check-links.sh" || { echo "FAILED: documentation links"; failed=1; }

echo "== native build (AddressSanitizer, UndefinedBehaviorSanitizer, fuzzing)"
if configure_and_build native; then
  run_ctest native "native tests"
else
  echo "FAILED: native build"; failed=1
fi

echo "== native build (ThreadSanitizer)"
if configure_and_build native-tsan; then
  run_ctest native-tsan "ThreadSanitizer tests"
else
  echo "FAILED: ThreadSanitizer build"; failed=1
fi

echo "== Windows build (mingw-w64), tests under Wine"
prefix=$build/windows/wineprefix
# scripts/wine-run.sh notes here every Wine process it had to start again.
retries=$prefix.retries
rm -f "$retries"
if configure_and_build windows; then
  trap 'lumero_wine_stop "$prefix"' EXIT
  # Test programs keep scratch folders in the prefix's Temp, and some cannot remove theirs under
  # Wine (paths past MAX_PATH): each run starts without the last run's, so the tree does not grow.
  rm -rf "$prefix"/drive_c/users/*/Temp/lumero-*
  if lumero_wine_prepare "$prefix"; then
    run_ctest windows "Windows tests under Wine"
  else
    echo "FAILED: Wine prefix"; failed=1
  fi
else
  echo "FAILED: Windows build"; failed=1
fi

# The program alone, as it ships: no tests, no GoogleTest. Built so that this form cannot rot.
echo "== Windows program alone (preset windows-product)"
configure_and_build windows-product || { echo "FAILED: windows-product build"; failed=1; }

nretries=0
if [ -s "$retries" ]; then
  sed 's/^/retried: /' "$retries"
  nretries=$(wc -l <"$retries")
fi
echo "retries: $nretries (Wine processes that died before the test program started)"
echo "tests: $passed_total passed, $failed_total failed"
exit $failed
