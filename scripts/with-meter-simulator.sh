#!/usr/bin/env bash
# Runs a command while the meter simulator plays a meter on a COM port of a Wine prefix.
# usage: with-meter-simulator.sh --simulator PROGRAM --prefix DIR [--com N] [simulator options]
#        -- command [arguments...]
# The command sees LUMERO_METER_SIMULATOR_PORT (the control port on 127.0.0.1) and
# LUMERO_METER_SIMULATOR_COM (e.g. COM7); Wine hands both on to Windows programs. The simulator's
# own output follows the command's on standard error.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

simulator="" prefix="" com=7 extra=()
while [ $# -gt 0 ]; do
  case $1 in
    --simulator) simulator=$2; shift 2 ;;
    --prefix) prefix=$2; shift 2 ;;
    --com) com=$2; shift 2 ;;
    --) shift; break ;;
    *) extra+=("$1"); shift ;;
  esac
done
if [ -z "$simulator" ] || [ -z "$prefix" ] || [ $# -eq 0 ]; then
  echo "usage: with-meter-simulator.sh --simulator PROGRAM --prefix DIR [--com N] -- command..." >&2
  exit 2
fi
[ -x "$simulator" ] || { echo "with-meter-simulator: no simulator at $simulator" >&2; exit 2; }

# The wine server must already run, detached, before the simulator calls wine.
lumero_wine_prepare "$prefix"

workdir=$(mktemp -d)
ready="$workdir/ready" log="$workdir/simulator.log"
"$simulator" --prefix "$prefix" --com "$com" --ready-file "$ready" "${extra[@]}" \
  >"$log" 2>&1 </dev/null &
simulator_pid=$!

finish() {
  kill -TERM "$simulator_pid" 2>/dev/null && wait "$simulator_pid" 2>/dev/null
  echo "--- meter simulator" >&2
  cat "$log" >&2
  rm -rf "$workdir"
}
trap 'finish; exit 130' INT TERM

for _ in $(seq 300); do
  [ -s "$ready" ] && break
  kill -0 "$simulator_pid" 2>/dev/null || break
  sleep 0.1
done
if [ ! -s "$ready" ]; then
  echo "with-meter-simulator: the simulator did not become ready" >&2
  finish
  exit 1
fi

export LUMERO_METER_SIMULATOR_PORT=$(cat "$ready")
export LUMERO_METER_SIMULATOR_COM="COM$com"
"$@"
status=$?
trap - INT TERM
finish
exit $status
