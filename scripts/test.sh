#!/usr/bin/env bash
# The test command: installs what is missing, builds the native and the Windows programs and runs
# every test (native under AddressSanitizer + UndefinedBehaviorSanitizer and ThreadSanitizer, the
# Windows builds of mingw-w64's GCC and of clang under Wine), builds the program alone without
# Python and checks the committed icon against its drawing. The builds are the presets of
# CMakePresets.json, in build/<preset>; the benchmarks are compiled, not run. Exits non-zero if
# anything fails.
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

configure_and_build() {  # preset [cmake options...]
  local preset=$1
  shift
  cmake --preset "$preset" "$@" >"$build/$preset.configure.log" 2>&1 ||
    { cat "$build/$preset.configure.log"; return 1; }
  cmake --build --preset "$preset" -j "$jobs"
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

nretries=0
wine_suite() {  # preset, label: its tests under Wine, in the build's own prefix and display
  local prefix=$build/$1/wineprefix had_display=${DISPLAY+yes} display=${DISPLAY-}
  # scripts/wine-run.sh notes here every Wine process it had to start again.
  rm -f "$prefix.retries"
  trap "lumero_wine_stop '$prefix'" EXIT
  # Test programs keep scratch folders in the prefix's Temp, and some cannot remove theirs under
  # Wine (paths past MAX_PATH): each run starts without the last run's, so the tree does not grow.
  rm -rf "$prefix"/drive_c/users/*/Temp/lumero-*
  if lumero_wine_prepare "$prefix"; then
    run_ctest "$1" "$2"
  else
    echo "FAILED: Wine prefix of $1"; failed=1
  fi
  lumero_wine_stop "$prefix"
  trap - EXIT
  # The next suite makes a display of its own unless the caller gave one.
  if [ -n "$had_display" ]; then export DISPLAY=$display; else unset DISPLAY; fi
  if [ -s "$prefix.retries" ]; then
    sed 's/^/retried: /' "$prefix.retries"
    nretries=$((nretries + $(wc -l <"$prefix.retries")))
  fi
}

echo "== Windows build (mingw-w64), tests under Wine"
if configure_and_build windows; then
  wine_suite windows "Windows tests under Wine"
else
  echo "FAILED: Windows build"; failed=1
fi

# The second compiler for the Windows code, with clang's nearest equivalents of MSVC's warnings.
echo "== Windows build (clang), tests under Wine"
if configure_and_build windows-clang; then
  wine_suite windows-clang "clang Windows tests under Wine"
else
  echo "FAILED: clang Windows build"; failed=1
fi

# The program alone, as it ships: no tests, no GoogleTest, no Python. Built so that this form
# cannot rot.
echo "== Windows program alone (preset windows-product)"
configure_and_build windows-product -DCMAKE_DISABLE_FIND_PACKAGE_Python3=ON ||
  { echo "FAILED: windows-product build"; failed=1; }

# The icon is a committed file; its drawing must still make exactly that file.
echo "== icon: tools/icon/make_icon.py redraws runner/resources/Lumerovantix.ico"
if python3 tools/icon/make_icon.py "$build/Lumerovantix.ico" &&
  cmp runner/resources/Lumerovantix.ico "$build/Lumerovantix.ico"; then
  echo "the same"
else
  echo "FAILED: the icon differs from its drawing"; failed=1
fi

echo "retries: $nretries (Wine processes that died before the test program started)"
echo "tests: $passed_total passed, $failed_total failed"
exit $failed
