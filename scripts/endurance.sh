#!/usr/bin/env bash
# Endurance runs; not part of the test command. "scripts/endurance.sh PART [SIZE]" runs
# scripts/endurance/PART.sh [SIZE]. Alone, or with "all", it runs every part found in
# scripts/endurance/ at its default size, one after another, prints a summary line per part and
# exits non-zero when any part failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
parts=$root/scripts/endurance

list_parts() {
  local script
  for script in "$parts"/*.sh; do
    [ -f "$script" ] && basename "$script" .sh
  done
}

part=${1:-all}
if [ "$part" != all ]; then
  if [ ! -f "$parts/$part.sh" ]; then
    echo "no endurance part \"$part\"; parts: $(list_parts | tr '\n' ' ')" >&2
    exit 64
  fi
  shift
  exec bash "$parts/$part.sh" "$@"
fi
if [ $# -gt 1 ]; then
  echo "usage: scripts/endurance.sh [all | PART [SIZE]]" >&2
  exit 64
fi

summary=()
failed=0
found=0
for name in $(list_parts); do
  found=1
  echo "== endurance part $name"
  started=$SECONDS
  if bash "$parts/$name.sh"; then
    result=passed
  else
    result="FAILED (status $?)"
    failed=1
  fi
  summary+=("$name: $result in $((SECONDS - started)) s")
done
if [ "$found" = 0 ]; then
  echo "no endurance parts in scripts/endurance" >&2
  exit 1
fi
echo "== endurance summary"
printf '%s\n' "${summary[@]}"
exit $failed
