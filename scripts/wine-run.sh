#!/usr/bin/env bash
# Runs one Windows program under Wine in an isolated prefix; CTest's cross-compiling emulator.
# usage: wine-run.sh --prefix DIR [--gtest | --last-line TEXT] program.exe [arguments...]
#
# Under Wine a crashed program can still exit with status 0, so the status alone proves nothing.
# The program's output goes to files (a pipe would be inherited by Wine's own processes), is
# echoed when it ends, and then judged:
#   every run       fails on Wine's crash report ("wine: Unhandled ...") on standard error;
#   --gtest         passes only with GoogleTest's closing "[  PASSED  ] N test(s)." line, no
#                   "[  FAILED  ]" line and status 0. A run that printed nothing at all, not even
#                   GoogleTest's first line, died in Wine before the program started: it is run
#                   again (at most twice) and noted in DIR.retries;
#   --last-line T   (a test that is not a GoogleTest program) passes only when its last line of
#                   standard output is T and its status is 0.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
prefix=${WINEPREFIX:-} check=status last_line=""
while [ $# -gt 0 ]; do
  case $1 in
    --prefix) prefix=$2; shift 2 ;;
    --gtest) check=gtest; shift ;;
    --last-line) check=last-line; last_line=$2; shift 2 ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "usage: wine-run.sh --prefix DIR [--gtest | --last-line TEXT] program.exe [arguments...]" >&2; exit 2; }
[ -f "$1" ] || { echo "wine-run: no program $1 (build it first)" >&2; exit 2; }
lumero_wine_prepare "$prefix"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
name=$(basename "$1")
attempt=0
while :; do
  status=0
  # Wine ends with this script, also when CTest kills it at a time-out.
  setpriv --pdeathsig KILL -- wine "$@" </dev/null >"$work/out" 2>"$work/err" || status=$?
  cat "$work/out"
  cat "$work/err" >&2
  crashed=0
  grep -q 'wine: Unhandled' "$work/err" && crashed=1
  if [ $check = gtest ] && [ ! -s "$work/out" ] && [ $crashed = 0 ] && [ $attempt -lt 2 ]; then
    attempt=$((attempt + 1))
    echo "wine-run: $name printed nothing (status $status): Wine died before it started; running it again" >&2
    echo "$name: status $status, no output" >>"$WINEPREFIX.retries"
    continue
  fi
  break
done

tr -d '\r' <"$work/out" >"$work/text"
verdict=""
[ $crashed = 1 ] && verdict="Wine reported a crash"
case $check in
  gtest)
    if grep -q '^\[  FAILED  \]' "$work/text"; then verdict=${verdict:-"a test failed"}
    elif ! grep -Eq '^\[  PASSED  \] [0-9]+ tests?\.$' "$work/text"; then
      verdict=${verdict:-"no closing \"[  PASSED  ]\" line: the program did not run to its end"}
    fi ;;
  last-line)
    [ "$(grep -v '^$' "$work/text" | tail -n 1)" = "$last_line" ] ||
      verdict=${verdict:-"its last line is not \"$last_line\": the program did not run to its end"} ;;
esac
if [ -n "$verdict" ]; then
  echo "wine-run: $name FAILED: $verdict (exit status $status)" >&2
  [ "$status" -ne 0 ] && exit "$status"
  exit 1
fi
exit "$status"
