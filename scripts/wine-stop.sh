#!/usr/bin/env bash
# Stops the wine server and the Xvfb display of a prefix made by wine-run.sh.
# usage: wine-stop.sh DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
lumero_wine_stop "$1"
