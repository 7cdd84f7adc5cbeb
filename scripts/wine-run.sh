#!/usr/bin/env bash
# Runs one Windows program under Wine in an isolated prefix; CTest's cross-compiling emulator.
# usage: wine-run.sh --prefix DIR program.exe [arguments...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
prefix=${WINEPREFIX:-}
if [ "${1:-}" = --prefix ]; then prefix=$2; shift 2; fi
lumero_wine_prepare "$prefix"
exec wine "$@" </dev/null
