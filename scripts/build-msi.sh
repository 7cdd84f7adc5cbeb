#!/usr/bin/env bash
# Builds the MSI out of an install layout (cmake --install BUILD --prefix DIR) with wixl, from
# installer/Lumerovantix.wxs and a fragment that wixl-heat harvests from the layout, and mends in
# the built package's tables what wixl 0.101 cannot write. The version is the program's own, from
# the version resource of the layout's Lumerovantix.exe. Debian only (wixl, msitools, python3,
# mingw-w64's windres). Writes DIR/Lumerovantix-<version>.msi; its last line is "ProductCode {...}".
# usage: build-msi.sh --layout DIR --out DIR [--msi-version X.Y.Z]
#        build-msi.sh --print-msi-version VERSION
#   --msi-version        instead of the version mapped from the program's (a test's later package
#                        of the same program)
#   --print-msi-version  prints the MSI version that VERSION maps to, and ends
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
usage="usage: build-msi.sh --layout DIR --out DIR [--msi-version X.Y.Z]
       build-msi.sh --print-msi-version VERSION"
layout="" version="" out="" msi_version="" print_only=""
while [ $# -gt 0 ]; do
  case $1 in
    --layout) layout=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --msi-version) msi_version=$2; shift 2 ;;
    --print-msi-version) version=$2 print_only=yes; shift 2 ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
done
# Windows Installer compares ProductVersion as major.minor.build with at most 255, 255 and 65535:
# 2026.11.031 is 26.11.31 (the year less 2000).
msi_version_of() {
  local year month number
  if ! [[ $1 =~ ^([0-9]{4})\.([0-9]{1,3})\.([0-9]{1,5})$ ]]; then
    echo "build-msi: version $1 is not YEAR.MONTH.NUMBER" >&2; return 1
  fi
  year=$((10#${BASH_REMATCH[1]})) month=$((10#${BASH_REMATCH[2]})) number=$((10#${BASH_REMATCH[3]}))
  if [ $year -lt 2000 ] || [ $year -gt 2255 ] || [ $month -gt 255 ] || [ $number -gt 65535 ]; then
    echo "build-msi: version $1 does not map into an MSI version (2000-2255.0-255.0-65535)" >&2
    return 1
  fi
  echo "$((year - 2000)).$month.$number"
}
if [ -n "$print_only" ]; then
  msi_version_of "$version"
  exit
fi
[ -n "$layout" ] && [ -n "$out" ] || { echo "$usage" >&2; exit 2; }
[ -f "$layout/Lumerovantix.exe" ] ||
  { echo "build-msi: $layout holds no Lumerovantix.exe (cmake --install BUILD --prefix DIR)" >&2; exit 2; }
version=$(x86_64-w64-mingw32-windres -i "$layout/Lumerovantix.exe" -O rc 2>/dev/null |
  sed -n 's/^ *VALUE "ProductVersion", "\([^"]*\)"\r\{0,1\}$/\1/p')
[ -n "$version" ] || { echo "build-msi: no ProductVersion in $layout/Lumerovantix.exe" >&2; exit 1; }
[ -n "$msi_version" ] || msi_version=$(msi_version_of "$version")

wxs=$root/installer/Lumerovantix.wxs
upgrade_code=$(sed -n 's/.*define UpgradeCode = "\([0-9A-F-]*\)".*/\1/p' "$wxs")
[ -n "$upgrade_code" ] || { echo "build-msi: no UpgradeCode in $wxs" >&2; exit 1; }
# One version, one ProductCode, the same in every build of it: deployment tools detect a release
# by it, and a rebuild of an installed version is refused instead of installed beside it.
product_code=$(python3 -c 'import sys, uuid
print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), "Lumerovantix " + sys.argv[2])).upper())' \
  "$upgrade_code" "$msi_version")

layout=$(cd "$layout" && pwd)
mkdir -p "$out"
out=$(cd "$out" && pwd)/Lumerovantix-$version.msi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# wixl wants relative source paths: it runs in the layout. Sorted, so that the harvest is the
# same from run to run but for its directory ids.
cd "$layout"
find . -type f ! -path ./Lumerovantix.exe | LC_ALL=C sort |
  wixl-heat -p ./ --var var.Layout --directory-ref INSTALLFOLDER --component-group Layout \
    --win64 >"$work/harvest.wxs"
wixl -a x64 -o "$out" -D Layout=. -D Win64=yes \
  -D Icon="$(realpath --relative-to=. "$root/runner/resources/Lumerovantix.ico")" \
  -D Version="$version" -D MsiVersion="$msi_version" -D ProductCode="$product_code" \
  "$wxs" "$work/harvest.wxs"

# wixl 0.101's gaps, mended in the built package's Registry table (the CrashDumps component of the
# source): it ends a key with a backslash; it writes Type="expandable" as REG_SZ, where a value
# starting with "#%" is REG_EXPAND_SZ; it refuses RemoveRegistryKey, where a row named "-" removes
# its key, subkeys and all, when the component is removed (never the shared LocalDumps above it).
dumps='SOFTWARE\Microsoft\Windows\Windows Error Reporting\LocalDumps\Lumerovantix.exe'
registry() { msibuild "$out" -q "$1"; }  # Key is a word of the query language: quoted as `Key`
registry "UPDATE Registry SET \`Key\` = '$dumps' WHERE Component_ = 'CrashDumps'"
registry "UPDATE Registry SET Value = '#%%LOCALAPPDATA%\Lumerovantix\zrzuty' WHERE Name = 'DumpFolder'"
registry "INSERT INTO Registry (Registry, Root, \`Key\`, Name, Component_)
  VALUES ('CrashDumpsRemoved', 2, '$dumps', '-', 'CrashDumps')"
echo "build-msi: $out (version $version, MSI version $msi_version)"
echo "ProductCode {$product_code}"
