#!/usr/bin/env bash
# Runs Lumerovantix.exe under Wine with live readings: the stand-in engine plays the interface
# (tools/stand_in_engine/demo_script.txt: "listen", "stan", "porty", "start", "id") and paints
# what the host sends; the meter simulator plays the meter on COM7.
# usage: scripts/run.sh [--no-meter] [--screenshot FILE.png] [--display own|current]
#   --no-meter           no simulator: the view shows that no meter is connected
#   --screenshot FILE    a second after the third reading, saves the whole window (frame
#                        included) as a PNG and closes it
#   --display own        always an Xvfb display of its own, with openbox
#   --display current    always the display named by DISPLAY, with or without a window manager
# First installs what is missing (as root) and builds. By default uses the X display named by
# DISPLAY when a window manager answers there (a display without one, such as the tests', gives
# a window without a frame), else an Xvfb of its own with openbox. Wine runs in a prefix of its own,
# build/run/wineprefix, with managed windows. Closing the window ends the run with the program's
# exit code; closing it or Ctrl-C stops everything started here.
set -uo pipefail

usage() {
  echo "usage: scripts/run.sh [--no-meter] [--screenshot FILE.png] [--display own|current]" >&2
  exit 2
}
meter=1 screenshot="" display_choice=auto
while [ $# -gt 0 ]; do
  case $1 in
    --no-meter) meter=0; shift ;;
    --screenshot) [ $# -ge 2 ] || usage; screenshot=$(realpath -m "$2"); shift 2 ;;
    --display)
      [ $# -ge 2 ] && { [ "$2" = own ] || [ "$2" = current ]; } || usage
      display_choice=$2; shift 2 ;;
    *) usage ;;
  esac
done

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=$root/build
run=$build/run
prefix=$run/wineprefix
jobs=${LUMERO_JOBS:-$(nproc)}

"$root/scripts/install-deps.sh" || exit 1
. "$root/scripts/wine-env.sh"

configure() {  # preset
  cmake --preset "$1" >"$build/$1.configure.log" 2>&1 ||
    { cat "$build/$1.configure.log"; return 1; }
}
mkdir -p "$run"
if [ $meter = 1 ]; then
  configure native && cmake --build --preset native -j "$jobs" --target meter_simulator || exit 1
fi
# lumero-meter.exe too, beside the program: the meter console tool, to try by hand.
configure windows &&
  cmake --build --preset windows -j "$jobs" --target Lumerovantix lumero-meter || exit 1

# Everything below is started here and stopped by stop_all, in reverse order. A process that
# outlives this script by accident dies with it (--pdeathsig).
xvfb="" wm="" simulator="" program=""
stop_all() {
  [ -n "$program" ] && kill "$program" 2>/dev/null
  # The simulator removes its COM link and device through the wine server: before the server.
  if [ -n "$simulator" ]; then
    kill -TERM "$simulator" 2>/dev/null
    wait "$simulator" 2>/dev/null
  fi
  lumero_wine_stop "$prefix"
  [ -n "$wm" ] && kill "$wm" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  wait 2>/dev/null
}
trap stop_all EXIT
trap 'echo "run: interrupted" >&2; exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

fail() {
  echo "run: $*" >&2
  exit 1
}

# A running window manager names on the root window a window of its own that names itself again
# (a manager that died may leave the root's property behind); without one the window has no frame.
window_manager_answers() {
  [ -n "${DISPLAY:-}" ] || return 1
  local check
  check=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | sed -n 's/.*window id # \(0x[0-9a-f]*\).*/\1/p')
  [ -n "$check" ] && xprop -id "$check" _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "# $check"
}
use_current=0
case $display_choice in
  current)
    [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1 ||
      fail "--display current: no X display answers at DISPLAY=${DISPLAY:-(unset)}"
    use_current=1 ;;
  auto)
    if window_manager_answers; then
      use_current=1
    elif [ -n "${DISPLAY:-}" ]; then
      echo "run: no window manager answers on $DISPLAY; using a display of its own (--display current to force $DISPLAY)"
    fi ;;
esac
if [ $use_current = 1 ]; then
  echo "run: on the display $DISPLAY"
else
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  setpriv --pdeathsig TERM -- Xvfb -displayfd 3 -nolisten tcp -screen 0 1920x1080x24 \
    3>"$fifo" >"$run/xvfb.log" 2>&1 </dev/null &
  xvfb=$!
  display=""
  read -r -t 20 display <"$fifo"
  rm -f "$fifo"
  [ -n "$display" ] || fail "Xvfb did not start; see $run/xvfb.log"
  export DISPLAY=:$display
  # Gives the window its frame and makes "managed" real.
  setpriv --pdeathsig TERM -- openbox --sm-disable >"$run/openbox.log" 2>&1 </dev/null &
  wm=$!
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
  done
  echo "run: on an Xvfb display of its own, $DISPLAY, with openbox"
fi

# A wine server left behind by a killed run would keep the display it was started with.
lumero_wine_stop "$prefix"
lumero_wine_prepare "$prefix" managed || fail "no Wine prefix"

if [ $meter = 1 ]; then
  ready=$run/simulator.ready
  rm -f "$ready"
  "$build/native/tools/meter_simulator/meter_simulator" --prefix "$prefix" --com 7 \
    --ready-file "$ready" >"$run/simulator.log" 2>&1 </dev/null &
  simulator=$!
  for _ in $(seq 300); do
    [ -s "$ready" ] && break
    kill -0 "$simulator" 2>/dev/null || break
    sleep 0.1
  done
  [ -s "$ready" ] || fail "the meter simulator did not become ready; see $run/simulator.log"
  echo "run: meter simulator on COM7 (control port $(cat "$ready"))"
fi

windows_path() { local path=${1//\//\\}; echo "Z:$path"; }
transcript=$run/transcript.txt
: >"$transcript"
# No records kept in the stand-in: the run may last for hours.
LUMERO_STANDIN_SCRIPT=$(windows_path "$root/tools/stand_in_engine/demo_script.txt") \
  LUMERO_STANDIN_TRANSCRIPT=$(windows_path "$transcript") LUMERO_STANDIN_RECORDS=0 \
  setpriv --pdeathsig TERM -- wine "$build/windows/runner/Lumerovantix.exe" \
  </dev/null >"$run/program.log" 2>&1 &
program=$!
if [ -n "$screenshot" ]; then
  echo "run: Lumerovantix is running; the window closes by itself after the screenshot (Ctrl-C ends the run at once)."
else
  echo "run: Lumerovantix is running; close its window (or press Ctrl-C) to end."
fi
echo "run: channel traffic in $transcript, the program's log in $prefix/drive_c/users/$(id -un)/AppData/Local/Lumerovantix/logi/app.log"

if [ -n "$screenshot" ]; then
  # Readings are the host's "pomiar" events; without a meter, the script's end is enough.
  for _ in $(seq 600); do
    kill -0 "$program" 2>/dev/null || fail "the program ended before the screenshot"
    if [ $meter = 1 ]; then
      [ "$(grep -c '"typ": "pomiar"' "$transcript")" -ge 3 ] && break
    else
      grep -q ' script 0 - | done$' "$transcript" && break
    fi
    sleep 0.1
  done
  sleep 1  # The third reading painted (the next may come meanwhile: one a second).
  window=$(xwininfo -name Lumerovantix 2>/dev/null | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')
  [ -n "$window" ] || fail "no window named Lumerovantix on $DISPLAY"
  import -window "$window" -frame "$screenshot" || fail "the screenshot failed"
  echo "run: saved $screenshot"
  # WM_CLOSE to the program's windows, as the close box sends it.
  wine taskkill /im Lumerovantix.exe >/dev/null 2>&1 </dev/null
fi

wait "$program"
status=$?
echo "run: Lumerovantix ended with exit code $status"
exit $status
