# Sourced by the scripts that wait long: a line when a long step starts, then one at least every
# 10 s until it ends, so that a silent wait is never taken for a hang. Lines go to standard error.
#
# usage: lumero_progress_start LABEL EXPECTED_SECONDS [STATUS_COMMAND...]
#          STATUS_COMMAND, if given, prints a few words on how far the step has got
#        ... the long step ...
#        lumero_progress_stop
lumero_progress_start() {
  local label=$1 expected=$2
  shift 2
  lumero_progress_label=$label
  lumero_progress_began=$SECONDS
  echo "$label: started (about $expected s)" >&2
  (
    sleeper=""
    trap '[ -n "$sleeper" ] && kill "$sleeper" 2>/dev/null; exit 0' TERM
    began=$SECONDS
    while :; do
      sleep 10 &
      sleeper=$!
      wait "$sleeper" || true
      status=""
      if [ $# -gt 0 ]; then status=$("$@" 2>/dev/null) || true; fi
      echo "$label: $((SECONDS - began)) s of about $expected s${status:+, $status}" >&2
    done
  ) </dev/null &
  lumero_progress_ticker=$!
}

lumero_progress_stop() {
  [ -n "${lumero_progress_ticker:-}" ] || return 0
  kill "$lumero_progress_ticker" 2>/dev/null || true
  wait "$lumero_progress_ticker" 2>/dev/null || true
  lumero_progress_ticker=""
  echo "$lumero_progress_label: done in $((SECONDS - lumero_progress_began)) s" >&2
}

# The expected seconds of an endurance part for a size, from its header line
# "# endurance-seconds: BASE + PER per unit".
# usage: lumero_expected_seconds PART_SCRIPT SIZE
lumero_expected_seconds() {
  sed -n 's/^# endurance-seconds: \([0-9.]*\) + \([0-9.]*\) per unit$/\1 \2/p' "$1" |
    awk -v size="$2" '{ printf "%.0f\n", $1 + $2 * size }'
}
