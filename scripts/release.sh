#!/usr/bin/env bash
# The release command: builds the program alone (preset windows-product, in build/release-product),
# lays out what ships, signs Lumerovantix.exe and lumero-meter.exe, builds the MSI, signs it, and
# writes the symbols a crash dump needs, release.txt and SHA-256 checksums into one release folder.
# Debian only. Its last line names the folder and says whether it signed.
#
# usage: release.sh [--out DIR] [--build DIR | --layout DIR [--symbols DIR]] [-- cmake options...]
#   --out DIR      the release folder (default build/release/<version>); a folder in the way must
#                  be an earlier release (it holds SHA256SUMS) and is replaced
#   --build DIR    an already configured Windows build folder, built and installed as it is
#   --layout DIR   a layout installed elsewhere (cmake --install on Windows, with a bundle): only
#                  signed and packaged; --symbols DIR adds that build's PDB files
#                  (cmake --install ... --component symbols)
#   cmake options  for the configure of build/release-product, e.g. the real import libraries and
#                  -DLUMERO_APP_BUNDLE=DIR
# Signing (osslsigncode) when both are set, never from the repository:
#   LUMERO_SIGN_PKCS12         the certificate and its key, a PKCS#12 file
#   LUMERO_SIGN_PASSWORD_FILE  a file whose first line is its password
#   LUMERO_SIGN_TIMESTAMP_URL  optional: an RFC 3161 time-stamping server (off by default)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
usage="usage: release.sh [--out DIR] [--build DIR | --layout DIR [--symbols DIR]] [-- cmake options...]"
out="" build="" layout="" symbols="" cmake_options=()
while [ $# -gt 0 ]; do
  case $1 in
    --out) out=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --layout) layout=$2; shift 2 ;;
    --symbols) symbols=$2; shift 2 ;;
    --) shift; cmake_options=("$@"); break ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
done
absolute() { mkdir -p "$1" && (cd "$1" && pwd); }
say() { echo "release: $*"; }

pkcs12=${LUMERO_SIGN_PKCS12:-} password_file=${LUMERO_SIGN_PASSWORD_FILE:-}
timestamp_url=${LUMERO_SIGN_TIMESTAMP_URL:-}
if [ -n "$pkcs12" ] || [ -n "$password_file" ]; then
  [ -f "$pkcs12" ] && [ -f "$password_file" ] || {
    echo "release: signing needs both LUMERO_SIGN_PKCS12 and LUMERO_SIGN_PASSWORD_FILE, as files" >&2
    exit 2
  }
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ -z "$layout" ]; then
  if [ -z "$build" ]; then
    build=$root/build/release-product
    say "building the program alone in $build"
    (cd "$root" && cmake --preset windows-product -B "$build" "${cmake_options[@]}" >"$work/configure.log" 2>&1) ||
      { cat "$work/configure.log"; exit 1; }
  fi
  cmake --build "$build" ${LUMERO_JOBS:+-j "$LUMERO_JOBS"} >"$work/build.log" 2>&1 ||
    { cat "$work/build.log"; exit 1; }
  layout=$work/layout
  cmake --install "$build" --prefix "$layout" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; exit 1; }
  # PDB files of an MSVC build; nothing in a mingw-w64 one.
  symbols=$work/symbols
  cmake --install "$build" --component symbols --prefix "$symbols" >>"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; exit 1; }
else
  [ -f "$layout/Lumerovantix.exe" ] || { echo "release: no Lumerovantix.exe in $layout" >&2; exit 2; }
  cp -r "$layout" "$work/layout"  # signed in place: the caller's layout stays as it was
  layout=$work/layout
fi

sign() {  # file: signed in place
  local options=(-pkcs12 "$pkcs12" -readpass "$password_file" -n Lumerovantix -h sha256)
  [ -z "$timestamp_url" ] || options+=(-ts "$timestamp_url")
  osslsigncode sign "${options[@]}" -in "$1" -out "$1.signed" >"$work/sign.log" 2>&1 ||
    { cat "$work/sign.log"; echo "release: signing $1 failed" >&2; exit 1; }
  mv "$1.signed" "$1"
}

if [ -n "$pkcs12" ]; then
  sign "$layout/Lumerovantix.exe"
  sign "$layout/lumero-meter.exe"
fi
# The package, named by the program's own version (from its version resource).
"$root/scripts/build-msi.sh" --layout "$layout" --out "$work/msi" >"$work/msi.log" ||
  { cat "$work/msi.log"; exit 1; }
version=$(sed -n 's/.* (version \([^,]*\), MSI version .*/\1/p' "$work/msi.log")
msi_version=$(sed -n 's/.* MSI version \([0-9.]*\))$/\1/p' "$work/msi.log")
out=${out:-$root/build/release/$version}
if [ -e "$out" ] && [ -n "$(ls -A "$out")" ] && [ ! -f "$out/SHA256SUMS" ]; then
  echo "release: $out is in the way and is no earlier release" >&2
  exit 2
fi
rm -rf "$out"
out=$(absolute "$out")
msi=Lumerovantix-$version.msi
[ -z "$pkcs12" ] || sign "$work/msi/$msi"
mv "$work/msi/$msi" "$out/"

# What a developer opens a crash dump with: the programs exactly as shipped and, from an MSVC
# build, their PDB files.
mkdir -p "$out/symbols"
cp "$layout/Lumerovantix.exe" "$layout/lumero-meter.exe" "$out/symbols/"
[ -z "$symbols" ] || [ ! -d "$symbols" ] || find "$symbols" -type f -name '*.pdb' -exec cp {} "$out/symbols/" \;

signed="unsigned (no certificate given)"
[ -z "$pkcs12" ] || signed="signed${timestamp_url:+ and time-stamped}"
{
  echo "Lumerovantix $version"
  echo "MSI version $msi_version"
  tail -n 1 "$work/msi.log"  # ProductCode {...}
  echo "$signed"
  echo "commit $(git -C "$root" describe --always --dirty 2>/dev/null || echo unknown)"
} >"$out/release.txt"
(cd "$out" && find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort |
  xargs -d '\n' sha256sum >SHA256SUMS)
cat "$out/release.txt"
say "$out, $signed"
