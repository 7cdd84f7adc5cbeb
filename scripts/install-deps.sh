#!/usr/bin/env bash
# Installs the Debian packages that building, testing, benchmarking and the README's commands
# need (run as root; scripts/test.sh runs it first), only those that are missing.
set -euo pipefail
packages=(cmake ninja-build clang libclang-rt-14-dev googletest libbenchmark-dev
  libmsgpack-cxx-dev  # the benchmarks' yardstick only, never linked into the product
  g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth procps util-linux
  clang-format netcat-openbsd python3
  unzip  # the report test opens the console tool's archives with it
  openbox imagemagick x11-utils)  # scripts/run.sh: window manager, screenshot, display checks
packages+=(wixl msitools osslsigncode openssl)  # the MSI and the release (scripts/release.sh)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
