#!/usr/bin/env bash
# Endurance: the meter bridge registered and torn down CYCLES times (default 100) against the
# stand-in engine while the meter polls the simulator and its events are in flight. Fails when an
# event arrives after a teardown, a reading comes twice, the engine's contract is broken, the
# process's handles or private bytes grow, or it crashes or hangs.
# usage: scripts/endurance/bridge.sh [CYCLES]
# endurance-default: 100
# endurance-seconds: 5 + 1.8 per unit
# endurance-minimum: 10
set -uo pipefail
. "$(dirname "$0")/wine-part.bash"
cycles=${1:-100}
endurance_wine_part bridge bridge_endurance 21 $((cycles * 10 + 300)) "$cycles"
