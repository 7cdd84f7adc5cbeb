#!/usr/bin/env bash
# Endurance: STOPS (default 200) stops of the meter at random moments of its poll cycle under Wine
# against the simulator; prints the median, 99th percentile and maximum time until Stop returns
# (goal: p99 at most 250 ms, reported only). Fails on a Stop over 2 s, a hang or a crash.
# usage: scripts/endurance/stop-latency.sh [STOPS]
# endurance-default: 200
# endurance-seconds: 5 + 1.1 per unit
set -uo pipefail
. "$(dirname "$0")/wine-part.bash"
stops=${1:-200}
endurance_wine_part stop-latency stop_latency 22 $((stops * 10 + 300)) "$stops"
