#!/usr/bin/env bash
# Endurance runs; not part of the test command.
# usage: scripts/endurance.sh PART [SIZE]        one part: scripts/endurance/PART.sh [SIZE]
#        scripts/endurance.sh [all] [--scale F]  every part in scripts/endurance/, one after another
# With all, every part runs at its default size times F (default 1), but at least its minimum, in
# order of the time it takes at its default size, so the long fuzzing comes last. The plan and its
# expected time are printed first, a summary line per part at the end; exits non-zero when any
# part failed. Each part's header gives its default size ("# endurance-default: N"), its time
# ("# endurance-seconds: BASE + PER per unit") and, where one unit (a poll, an execution, a
# cycle...) is too few for its checks to judge, its minimum ("# endurance-minimum: N").
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
parts=$root/scripts/endurance
. "$root/scripts/progress.bash"

usage() {
  echo "usage: scripts/endurance.sh PART [SIZE] | scripts/endurance.sh [all] [--scale F]" >&2
  echo "parts: $(list_parts | tr '\n' ' ')" >&2
  exit 64
}

list_parts() {
  local script
  for script in "$parts"/*.sh; do
    [ -f "$script" ] && basename "$script" .sh
  done
}

header_number() { sed -n "s/^# endurance-$2: \([0-9]*\)\$/\1/p" "$parts/$1.sh"; }

part=all
if [ $# -gt 0 ] && [ "$1" != --scale ]; then
  part=$1
  shift
fi
if [ "$part" != all ]; then
  [ -f "$parts/$part.sh" ] || { echo "no endurance part \"$part\"" >&2; usage; }
  exec bash "$parts/$part.sh" "$@"
fi
scale=1
if [ $# -gt 0 ]; then
  [ $# -eq 2 ] && [ "$1" = --scale ] || usage
  scale=$2
  awk -v f="$scale" 'BEGIN { exit !(f + 0 > 0) }' ||
    { echo "--scale takes a number above 0, not \"$scale\"" >&2; exit 64; }
fi

# name, size at this scale, expected seconds at that size, expected seconds at the default size
plan=()
total=0
for name in $(list_parts); do
  default=$(header_number "$name" default)
  minimum=$(header_number "$name" minimum)
  if [ -z "$default" ]; then
    echo "scripts/endurance/$name.sh has no \"# endurance-default:\" line" >&2
    exit 1
  fi
  size=$(awk -v d="$default" -v f="$scale" -v m="${minimum:-1}" \
    'BEGIN { s = int(d * f + 0.5); print (s < m ? m : s) }')
  seconds=$(lumero_expected_seconds "$parts/$name.sh" "$size")
  plan+=("$name $size ${seconds:-0} $(lumero_expected_seconds "$parts/$name.sh" "$default")")
  total=$((total + ${seconds:-0}))
done
if [ ${#plan[@]} = 0 ]; then
  echo "no endurance parts in scripts/endurance" >&2
  exit 1
fi
mapfile -t plan < <(printf '%s\n' "${plan[@]}" | sort -k4,4n -k1,1)

echo "== endurance plan (scale $scale): expected about $(((total + 59) / 60)) min, builds not counted"
for entry in "${plan[@]}"; do
  read -r name size seconds _ <<<"$entry"
  echo "$name: size $size, about $seconds s"
done

summary=()
failed=0
for entry in "${plan[@]}"; do
  read -r name size _ <<<"$entry"
  echo "== endurance part $name (size $size)"
  started=$SECONDS
  if bash "$parts/$name.sh" "$size"; then
    result=passed
  else
    result="FAILED (status $?)"
    failed=1
  fi
  summary+=("$name: $result in $((SECONDS - started)) s")
done
echo "== endurance summary"
printf '%s\n' "${summary[@]}"
exit $failed
