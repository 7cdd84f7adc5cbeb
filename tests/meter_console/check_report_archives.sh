#!/usr/bin/env bash
# The report test's CTest command (registered through lumero_simulator_test's DRIVER):
#   check_report_archives.sh FOLDER -- wine-run.sh ... win32_report_test.exe
# Empties FOLDER, runs the Windows test program, which keeps there every archive it made
# (NAME.zip) with the names of its entries (NAME.zip.entries, one per line), and when it passed,
# opens each archive with Info-ZIP's unzip and Python's zipfile: both must find every entry
# intact, flagged UTF-8, and exactly the names expected. Its last line says how many passed.
set -uo pipefail
folder=$1
shift
[ "${1-}" = -- ] && shift
rm -rf "$folder" && mkdir -p "$folder" || exit 1
# Wine's drive Z: is the Linux root.
export LUMERO_REPORT_ARCHIVES="Z:${folder//\//\\}"
"$@" || exit $?

checked=0
for entries in "$folder"/*.zip.entries; do
  [ -e "$entries" ] || break
  archive=${entries%.entries}
  unzip -tq "$archive" || { echo "check_report_archives: unzip -t fails on $archive" >&2; exit 1; }
  if [ "$(LC_ALL=C.UTF-8 unzip -Z1 "$archive")" != "$(cat "$entries")" ]; then
    echo "check_report_archives: unzip lists other entries in $archive:" >&2
    LC_ALL=C.UTF-8 unzip -Z1 "$archive" >&2
    exit 1
  fi
  python3 - "$archive" "$entries" <<'PYTHON' || exit 1
import sys
import zipfile

archive, entries = sys.argv[1], sys.argv[2]
expected = open(entries, encoding="utf-8").read().split("\n")
with zipfile.ZipFile(archive) as z:
    broken = z.testzip()
    names = [info.filename for info in z.infolist()]
    not_utf8 = [info.filename for info in z.infolist() if not info.flag_bits & 0x800]
if broken is not None or names != expected or not_utf8:
    sys.exit(f"check_report_archives: zipfile on {archive}: bad entry {broken}, "
             f"names {names}, expected {expected}, without the UTF-8 flag {not_utf8}")
PYTHON
  checked=$((checked + 1))
done
if [ "$checked" -eq 0 ]; then
  echo "check_report_archives: the test program kept no archive in $folder" >&2
  exit 1
fi
echo "check_report_archives: $checked archives pass unzip -t and Python's zipfile"
