# Sourced by the Wine parts of the endurance runs. Builds the native meter simulator (preset
# "bench", build/bench) and one Windows driver from tools/endurance/wine (preset "windows",
# build/windows), then runs the driver under Wine against the simulator in a prefix of the
# endurance runs' own (build/endurance/wineprefix), stopped at the end. The driver passes only when
# its last line is "<part>: passed"; a hang ends at the time-out with status 124.
# usage: endurance_wine_part PART TARGET COM TIMEOUT_S [DRIVER ARGUMENTS...]
endurance_wine_part() {
  local part=$1 target=$2 com=$3 limit=$4
  shift 4
  local root
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  local jobs=${LUMERO_JOBS:-$(nproc)}
  cd "$root" || return 1
  "$root/scripts/install-deps.sh" || return 1
  mkdir -p build/endurance
  echo "$part: building the meter simulator (preset bench) and $target (preset windows)"
  cmake --preset bench >build/bench.configure.log 2>&1 || { cat build/bench.configure.log; return 1; }
  cmake --build build/bench -j "$jobs" --target meter_simulator >build/endurance/$part.build.log 2>&1 &&
    cmake --preset windows >build/windows.configure.log 2>&1 &&
    cmake --build build/windows -j "$jobs" --target "$target" >>build/endurance/$part.build.log 2>&1 ||
    { cat build/windows.configure.log build/endurance/$part.build.log; return 1; }

  . "$root/scripts/wine-env.sh"
  local prefix=$root/build/endurance/wineprefix
  trap "lumero_wine_stop '$prefix'" EXIT
  echo "$part: $(uname -m), $(nproc) cores, $(wine --version 2>/dev/null), $(date -u '+%Y-%m-%d %H:%M UTC')"
  lumero_wine_prepare "$prefix" || return 1
  # The driver's output comes only at its end (wine-run.sh keeps it in a file meanwhile).
  lumero_progress_start "$part: running $target $*" "$(lumero_expected_seconds "$0" "${1:-0}")"
  local status=0
  timeout "$limit" "$root/scripts/with-meter-simulator.sh" \
    --simulator "$root/build/bench/tools/meter_simulator/meter_simulator" --prefix "$prefix" \
    --com "$com" -- "$root/scripts/wine-run.sh" --prefix "$prefix" --last-line "$part: passed" \
    "$root/build/windows/tools/endurance/wine/$target.exe" "$@" || status=$?
  lumero_progress_stop
  return $status
}
