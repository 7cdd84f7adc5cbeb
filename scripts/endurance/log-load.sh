#!/usr/bin/env bash
# Endurance: 8 threads write LINES lines each (default 10,000) through the diagnostics log while
# the meter runs, in a log folder of the run's own. Prints how many lines are whole, lost or glued
# (Wine's emulated appends lose some: reported only). Fails on a line found twice, anything else
# broken (mixed text, a torn UTF-8 sequence), a crash or a hang.
# usage: scripts/endurance/log-load.sh [LINES]
# endurance-default: 10000
# endurance-seconds: 5 + 0.0015 per unit
set -uo pipefail
. "$(dirname "$0")/wine-part.bash"
lines=${1:-10000}
endurance_wine_part log-load log_load 23 $((lines / 10 + 600)) "$lines"
