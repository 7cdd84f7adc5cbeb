#!/usr/bin/env bash
# Endurance: pulls and plugs back the simulated meter cable CYCLES times (default 100) through the
# running Lumerovantix.exe, with the stand-in engine playing the interface (a generated script)
# and the meter simulator as the cable, sometimes plugged back on another COM number. Prints the
# figures and exits non-zero when a reading is lost or doubled, an unplug does not end in one
# error and one state event, a cycle hangs or overruns, or handles or private bytes grow.
# usage: scripts/endurance/replug.sh [CYCLES]
# endurance-default: 100
# endurance-seconds: 20 + 3.6 per unit
# endurance-minimum: 10
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
cycles=${1:-100}
jobs=${LUMERO_JOBS:-$(nproc)}

"$root/scripts/install-deps.sh"
mkdir -p build
# The simulator from the native preset and the program from the Windows one, as the tests have
# them; only the targets needed here are built.
cmake --preset native >build/native.configure.log 2>&1 || { cat build/native.configure.log; exit 1; }
cmake --build --preset native -j "$jobs" --target meter_simulator
cmake --preset windows >build/windows.configure.log 2>&1 || { cat build/windows.configure.log; exit 1; }
cmake --build --preset windows -j "$jobs" --target Lumerovantix process_probe

. "$root/scripts/wine-env.sh"
# A prefix of its own: the run adds and removes a CP2102 device for minutes, which a test
# running meanwhile in the tests' prefix would see as a second cable.
prefix=$root/build/windows/endurance-replug-prefix
work=$root/build/windows/endurance-replug
rm -rf "$work"
mkdir -p "$work"
trap 'lumero_wine_stop "$prefix"' EXIT

python3 tools/endurance/replug/make_script.py --cycles "$cycles" \
  --probe "Z:$root/build/windows/tools/process_probe/process_probe.exe" \
  --samples "Z:$work/samples.txt" >"$work/script.txt"
lumero_wine_prepare "$prefix"
export LUMERO_STANDIN_SCRIPT="Z:$work/script.txt" LUMERO_STANDIN_TRANSCRIPT="Z:$work/transcript.txt"
# No records in memory: they would grow with every message and hide a leak of the host's.
export LUMERO_STANDIN_RECORDS=0
# A cycle takes about 5 s; far beyond that the program is taken for hung.
limit=$((60 + cycles * 15))
started=$(date +%s)
status=0
. "$root/scripts/progress.bash"
readings_so_far() { echo "$(grep -c '"typ": "pomiar"' "$work/transcript.txt") readings so far"; }
lumero_progress_start "replug: $cycles cycles" "$(lumero_expected_seconds "$0" "$cycles")" \
  readings_so_far
"$root/scripts/with-meter-simulator.sh" --simulator build/native/tools/meter_simulator/meter_simulator \
  --prefix "$prefix" --com 7 -- \
  timeout "$limit" "$root/scripts/wine-run.sh" --prefix "$prefix" build/windows/runner/Lumerovantix.exe \
  >"$work/run.log" 2>&1 || status=$?
lumero_progress_stop
[ $status = 124 ] && echo "replug: the program did not end within $limit s"
echo "run: $(($(date +%s) - started)) s, program status $status; logs in $work"
report=0
python3 tools/endurance/replug/report.py --cycles "$cycles" --transcript "$work/transcript.txt" \
  --samples "$work/samples.txt" || report=$?
if [ $status != 0 ]; then
  tail -n 20 "$work/run.log"
  echo "replug: failed (the run ended with status $status)"
  exit 1
fi
exit $report
