#!/usr/bin/env bash
# The meter simulator ends when its parent is killed outright (as CTest kills a test wrapper at a
# time-out), and removes its COM link on the way out.
# usage: simulator_exits_with_parent.sh SIMULATOR
set -uo pipefail
simulator=$1
work=$(mktemp -d)
mkdir -p "$work/prefix/dosdevices"
bash -c '"$1" --prefix "$2" --com 5 --no-registry --ready-file "$3" >"$4" 2>&1 </dev/null &
  echo $! >"$5"; wait' _ "$simulator" "$work/prefix" "$work/ready" "$work/log" "$work/pid" &
parent=$!
finish() {  # status, message
  echo "$2"
  cat "$work/log"
  [ -s "$work/pid" ] && kill -KILL "$(cat "$work/pid")" 2>/dev/null
  kill -KILL "$parent" 2>/dev/null
  rm -rf "$work"
  exit "$1"
}
for _ in $(seq 100); do [ -s "$work/ready" ] && break; sleep 0.1; done
[ -s "$work/ready" ] && [ -L "$work/prefix/dosdevices/com5" ] || finish 1 "the simulator did not start"
kill -KILL "$parent"
for _ in $(seq 100); do grep -q '^stopped$' "$work/log" && break; sleep 0.1; done
grep -q '^stopped$' "$work/log" || finish 1 "FAILED: the simulator outlived its parent"
[ -L "$work/prefix/dosdevices/com5" ] && finish 1 "FAILED: the COM link was left behind"
finish 0 "the simulator stopped with its parent and removed its COM link"
