#!/usr/bin/env bash
# Makes a Wine prefix if it is not there yet and starts its wine server and Xvfb display, as the
# tests have them, for programs started by hand against it (the meter simulator, for one). The
# display and the prefix stay inside this script; scripts/wine-stop.sh DIR stops both.
# usage: wine-prepare.sh DIR
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: wine-prepare.sh DIR" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
lumero_wine_prepare "$1"
echo "wine-prepare: $1 ready (display $DISPLAY); stop with scripts/wine-stop.sh $1"
