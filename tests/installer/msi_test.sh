#!/usr/bin/env bash
# The release and its MSI end to end, in a fresh Wine prefix of its own, deleted at the end (about
# 0.7 GB while it runs). Runs the release command on the build with a throwaway certificate and
# checks its folder and every signature; checks the package's own tables (Wine shows neither the
# shortcut's icon nor the installed-programs icon); installs the signed package silently and
# checks the files, the installed-programs entry and the crash-dump key; runs the installed,
# signed program against the meter simulator with LOCALAPPDATA in a user folder with Polish
# letters and a space, and the installed lumero-meter.exe; installs a later package over it, the
# earlier one again (refused), and removes it: nothing of it may remain but the user's data and
# other programs' dump keys.
# usage: msi_test.sh --build DIR --version VERSION --simulator PROGRAM
# Ends with "msi test: passed", or the failed checks and a non-zero status.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/wine-env.sh"

build="" version="" simulator="" mode=outer
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --version) version=$2; shift 2 ;;
    --simulator) simulator=$2; shift 2 ;;
    --run-installed) mode=inner; shift ;;  # inside with-meter-simulator.sh, see below
    *) echo "usage: msi_test.sh --build DIR --version VERSION --simulator PROGRAM" >&2; exit 2 ;;
  esac
done
prefix=$build/msi-test-prefix
work=$build/tests/installer/msi-test
upgrade_code="{84BF98F1-B777-4EE1-B663-A40C0FDD4F61}"  # fixed for good: never changed
local_dumps='HKLM\SOFTWARE\Microsoft\Windows\Windows Error Reporting\LocalDumps'
installed="$prefix/drive_c/Program Files/Lumerovantix"
user="Łucja Żółć"
user_data="$prefix/drive_c/users/$user/AppData/Local/Lumerovantix"
export LC_ALL=C.UTF-8  # Wine reads the Polish letters of its arguments in the locale's encoding

failures=0
fail() { echo "msi test: FAILED: $*"; failures=$((failures + 1)); }
expect() {  # what, expected, actual
  [ "$2" = "$3" ] || fail "$1: expected \"$2\", got \"$3\""
}
windows_path() { local path=${1//\//\\}; echo "Z:$path"; }
# The files of a folder, relative, sorted, against installer/ships.txt, both ways.
expect_shipped_files() {  # what, folder
  local listed actual
  listed=$(grep -v '^#' "$root/installer/ships.txt" | LC_ALL=C sort)
  actual=$(cd "$2" 2>/dev/null && find . -type f -printf '%P\n' | LC_ALL=C sort)
  [ "$listed" = "$actual" ] ||
    fail "$1: not what ships: $(diff <(echo "$listed") <(echo "$actual") | grep '^[<>]' | tr '\n' ' ')"
}

# The program and lumero-meter.exe as installed, while the simulator plays a meter on COM9: a
# reading reaches the stand-in engine, the log goes to the user folder.
if [ $mode = inner ]; then
  mkdir -p "$(dirname "$user_data")" "$prefix/drive_c/lumero-msi-test"  # the base folder alone
  printf '%s\n' 'call lumerovantix/sonel listen' 'await-reply' 'call lumerovantix/sonel_info start' \
    'await-reply' 'await-event lumerovantix/sonel 20000 pomiar' \
    'call lumerovantix/sonel_info stop' 'await-reply' 'close' \
    >"$prefix/drive_c/lumero-msi-test/script.txt"
  # Wine sets LOCALAPPDATA from the prefix's profile: set in the program's own environment, the
  # way a user's differs; from its folder, as the Start menu shortcut starts it.
  status=0
  LUMERO_STANDIN_SCRIPT='C:\lumero-msi-test\script.txt' \
    LUMERO_STANDIN_TRANSCRIPT='C:\lumero-msi-test\transcript.txt' \
    timeout 120 wine cmd /c "cd /d C:\\Program Files\\Lumerovantix&& set LOCALAPPDATA=C:\\users\\$user\\AppData\\Local&& Lumerovantix.exe" \
    </dev/null >"$work/program.out" 2>"$work/program.err" || status=$?
  expect "the installed program's exit status" 0 $status
  grep -q 'wine: Unhandled' "$work/program.err" && fail "the installed program crashed"
  transcript=$(cat "$prefix/drive_c/lumero-msi-test/transcript.txt" 2>/dev/null)
  grep -q ' - script 0 - | done$' <<<"$transcript" ||
    fail "the stand-in's script did not run to its end: $transcript"
  grep -q '^[0-9.]* lumerovantix/sonel from-host .*"typ": "pomiar"' <<<"$transcript" ||
    fail "no reading reached the engine: $transcript"
  log=$(cat "$user_data/logi/app.log" 2>/dev/null)
  for line in "rejestracja: start" "start: wejście" "emisja: Send OK"; do
    grep -q "miernik: $line" <<<"$log" || fail "app.log in the user folder has no \"$line\": $log"
  done

  status=0
  ports=$(wine 'C:\Program Files\Lumerovantix\lumero-meter.exe' ports </dev/null 2>"$work/ports.err" |
    tr -d '\r') || status=$?
  expect "lumero-meter ports: its exit status" 0 $status
  expect "lumero-meter ports" 'COM9  \\.\COM9  (tego portu użyje program)' "$ports"
  exit $((failures > 0))
fi

[ -n "$build" ] && [ -n "$version" ] && [ -x "$simulator" ] ||
  { echo "usage: msi_test.sh --build DIR --version VERSION --simulator PROGRAM" >&2; exit 2; }

remove_prefix() {
  lumero_wine_stop "$prefix"
  rm -rf "$prefix" "$prefix.log" "$prefix.lock" "$prefix.retries"
}
remove_prefix
trap remove_prefix EXIT
rm -rf "$work" && mkdir -p "$work"

# Installed-programs entries named Lumerovantix, one line each: "{ProductCode} version publisher".
entries() {
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s </dev/null 2>/dev/null |
    tr -d '\r' | awk -F '    ' '
      function flush() { if (name == "Lumerovantix") print key, version, publisher }
      /^HKEY/ { flush(); key = $0; sub(/.*\\/, "", key); name = version = publisher = "" }
      $2 == "DisplayName" { name = $4 }
      $2 == "DisplayVersion" { version = $4 }
      $2 == "Publisher" { publisher = $4 }
      END { flush() }'
}
# The values of a program's key under LocalDumps, "name type value|..."; empty without the key.
dump_key() {
  wine reg query "$local_dumps\\$1" </dev/null 2>/dev/null | tr -d '\r' |
    awk -F '    ' 'NF == 4 { print $2, $3, $4 }' | LC_ALL=C sort | paste -sd '|'
}
table() { msiinfo export "$1" "$2" | tr -d '\r'; }  # package, table: its rows, tab-separated
msiexec_status() {  # arguments: its status as the shell sees it (modulo 256)
  local status=0
  wine msiexec "$@" </dev/null >/dev/null 2>&1 || status=$?
  echo $status
}

# The MSI version: the year less 2000, then the two other fields as numbers; what does not fit
# Windows Installer's 255.255.65535 is refused.
for pair in 2026.11.031=26.11.31 2000.1.007=0.1.7 2255.255.65535=255.255.65535; do
  expect "the MSI version of ${pair%=*}" "${pair#*=}" \
    "$("$root/scripts/build-msi.sh" --print-msi-version "${pair%=*}" 2>&1)"
done
for refused in 1999.12.1 2256.1.1 2026.256.1 2026.11.65536 2026.11 26.11.31 2026.11.031.0; do
  "$root/scripts/build-msi.sh" --print-msi-version $refused >/dev/null 2>&1 &&
    fail "the version $refused was mapped"
done

# The release command on this build, signing with a throwaway certificate made for this run.
cert=$work/certificate
mkdir -p "$cert"
echo "throwaway-$$-$RANDOM" >"$cert/password"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Lumerovantix test signing" \
  -addext extendedKeyUsage=codeSigning -keyout "$cert/key.pem" -out "$cert/cert.pem" \
  >"$work/openssl.out" 2>&1 &&
  openssl pkcs12 -export -inkey "$cert/key.pem" -in "$cert/cert.pem" \
    -passout "file:$cert/password" -out "$cert/cert.p12" >>"$work/openssl.out" 2>&1 ||
  { cat "$work/openssl.out"; exit 1; }
release=$work/release
LUMERO_SIGN_PKCS12=$cert/cert.p12 LUMERO_SIGN_PASSWORD_FILE=$cert/password \
  "$root/scripts/release.sh" --build "$build" --out "$release" >"$work/release.out" 2>&1 ||
  { cat "$work/release.out"; fail "the release command"; }
expect "the release command's last line" "release: $release, signed" \
  "$(tail -n 1 "$work/release.out")"
# Named by the build's version: the program's version resource agrees with it.
first=$release/Lumerovantix-$version.msi
expect "the release folder" \
  "Lumerovantix-$version.msi SHA256SUMS release.txt symbols/Lumerovantix.exe symbols/lumero-meter.exe" \
  "$(cd "$release" && find . -type f -printf '%P\n' | LC_ALL=C sort | paste -sd ' ')"
[ -f "$first" ] || { fail "no $first"; exit 1; }
expect "the files the checksums hold" \
  "Lumerovantix-$version.msi release.txt symbols/Lumerovantix.exe symbols/lumero-meter.exe" \
  "$(cut -c 67- "$release/SHA256SUMS" | paste -sd ' ')"
(cd "$release" && sha256sum --quiet -c SHA256SUMS) >"$work/sums.out" 2>&1 ||
  fail "the checksums: $(cat "$work/sums.out")"
verify() { osslsigncode verify -CAfile "$cert/cert.pem" -in "$1" >"$work/verify.out" 2>&1; }
for signed in "$first" "$release/symbols/Lumerovantix.exe" "$release/symbols/lumero-meter.exe"; do
  verify "$signed" || fail "the signature of $signed: $(grep -i -m 3 'fail\|error' "$work/verify.out")"
done

# Without a certificate it says so, and signs nothing.
cmake --install "$build" --prefix "$work/layout" >"$work/install.out" 2>&1 ||
  { cat "$work/install.out"; exit 1; }
"$root/scripts/release.sh" --layout "$work/layout" --out "$work/unsigned" >"$work/unsigned.out" 2>&1 ||
  { cat "$work/unsigned.out"; fail "the release command without a certificate"; }
expect "the unsigned release's last line" "release: $work/unsigned, unsigned (no certificate given)" \
  "$(tail -n 1 "$work/unsigned.out")"
verify "$work/unsigned/Lumerovantix-$version.msi" && fail "the unsigned release's MSI has a signature"

# A later package of the same program that only its MSI version tells apart.
msi_version=$("$root/scripts/build-msi.sh" --print-msi-version "$version")
later_version=${msi_version%.*}.$((${msi_version##*.} + 1))
later=$work/later/Lumerovantix-$version.msi
"$root/scripts/build-msi.sh" --layout "$work/layout" --msi-version "$later_version" \
  --out "$work/later" >/dev/null
product_code() { table "$1" Property | awk -F '\t' '$1 == "ProductCode" { print $2 }'; }
first_code=$(product_code "$first") later_code=$(product_code "$later")
# One version is one product: a rebuild, the unsigned one, keeps the ProductCode.
expect "the ProductCode of a rebuild" "$first_code" \
  "$(product_code "$work/unsigned/Lumerovantix-$version.msi")"
[ "$first_code" != "$later_code" ] || fail "a later version kept the ProductCode $first_code"

# What Wine does not show, from the package's tables: the shortcut with its icon and working
# folder, the installed-programs icon, the upgrade's order.
property() { table "$first" Property | awk -F '\t' -v name="$1" '$1 == name { print $2 }'; }
expect "UpgradeCode" "$upgrade_code" "$(property UpgradeCode)"
expect "Manufacturer" Lumerovantix "$(property Manufacturer)"
expect "ProductVersion" "$msi_version" "$(property ProductVersion)"
expect "ARPPRODUCTICON" Lumerovantix.ico "$(property ARPPRODUCTICON)"
expect "the Start menu shortcut (folder, name, target, icon, working folder)" \
  "ProgramMenuFolder Lumerovantix [#Lumerovantix.exe] Lumerovantix.ico INSTALLFOLDER" \
  "$(table "$first" Shortcut | awk -F '\t' 'NR > 3 { print $2, $3, $5, $9, $12 }')"
# Every registry value the package writes: the crash-dump key, its folder expandable ("#%"), and
# the row ("-") that removes that key, and no other, with the package.
key='SOFTWARE\Microsoft\Windows\Windows Error Reporting\LocalDumps\Lumerovantix.exe'
expect "the Registry table (root, key, name, value)" \
  "2 $key - |2 $key DumpCount #5|2 $key DumpFolder #%%LOCALAPPDATA%\Lumerovantix\zrzuty|2 $key DumpType #1" \
  "$(table "$first" Registry | awk -F '\t' 'NR > 3 { print $2, $3, $4, $5 }' | LC_ALL=C sort |
     paste -sd '|')"
msiinfo extract "$first" Icon.Lumerovantix.ico >"$work/icon.ico"
cmp -s "$work/icon.ico" "$root/runner/resources/Lumerovantix.ico" ||
  fail "the package's icon is not the program's"
order=$(table "$first" InstallExecuteSequence | awk -F '\t' 'NR > 3 { print $3, $1 }' |
  sort -n | cut -d ' ' -f 2 | paste -sd ' ')
[[ " $order " == *" InstallValidate RemoveExistingProducts InstallInitialize "* ]] ||
  fail "the old product is not removed before the new one is installed: $order"

# Install, silently, into the fresh prefix, where another program keeps a dump key of its own.
lumero_wine_prepare "$prefix" >"$work/prefix.out" 2>&1 || { cat "$work/prefix.out"; exit 1; }
wine reg add "$local_dumps\\Other.exe" /v DumpCount /t REG_DWORD /d 3 /f </dev/null >/dev/null 2>&1
expect "msiexec /i, status" 0 "$(msiexec_status /i "$(windows_path "$first")" /qn /l*v \
  "$(windows_path "$work/install.log")")"
expect_shipped_files "Program Files\\Lumerovantix" "$installed"
cmp -s "$installed/Lumerovantix.exe" "$release/symbols/Lumerovantix.exe" ||
  fail "the installed Lumerovantix.exe is not the release's"
verify "$installed/Lumerovantix.exe" || fail "the installed Lumerovantix.exe is not signed"
expect "the crash-dump key" \
  "DumpCount REG_DWORD 0x5|DumpFolder REG_EXPAND_SZ %LOCALAPPDATA%\\Lumerovantix\\zrzuty|DumpType REG_DWORD 0x1" \
  "$(dump_key Lumerovantix.exe)"
expect "the installed-programs entry" "$first_code $msi_version Lumerovantix" "$(entries)"
# Wine puts the per-machine shortcut into the user's Start menu.
shortcut=$(find "$prefix/drive_c/users" -path '*/Start Menu/Programs/Lumerovantix.lnk')
[ -n "$shortcut" ] || fail "no Start menu shortcut"

"$root/scripts/with-meter-simulator.sh" --simulator "$simulator" --prefix "$prefix" --com 9 -- \
  "$0" --run-installed --build "$build" >"$work/run.out" 2>&1 ||
  { cat "$work/run.out"; fail "the installed programs (above)"; }

# A later version replaces it: one entry, the new one.
expect "msiexec /i of the later package, status" 0 "$(msiexec_status /i "$(windows_path "$later")" /qn)"
expect "the installed-programs entry after the upgrade" "$later_code $later_version Lumerovantix" \
  "$(entries)"
expect_shipped_files "Program Files\\Lumerovantix after the upgrade" "$installed"

# The earlier one over it is refused: 1603, which the shell sees modulo 256.
expect "msiexec /i of the earlier package over the later one, status" 67 \
  "$(msiexec_status /i "$(windows_path "$first")" /qn)"
expect "the installed-programs entry after the refusal" "$later_code $later_version Lumerovantix" \
  "$(entries)"

# Removal: nothing of it remains, but the user's data does.
expect "msiexec /x, status" 0 "$(msiexec_status /x "$(windows_path "$later")" /qn)"
[ -e "$installed" ] && fail "Program Files\\Lumerovantix remains: $(find "$installed" | head -5)"
[ -e "$shortcut" ] && fail "the Start menu shortcut remains"
expect "installed-programs entries after removal" "" "$(entries)"
[ -f "$user_data/logi/app.log" ] || fail "the user's app.log is gone"
expect "the crash-dump key after removal" "" "$(dump_key Lumerovantix.exe)"
expect "another program's dump key after removal" "DumpCount REG_DWORD 0x3" "$(dump_key Other.exe)"

if [ $failures -gt 0 ]; then
  echo "msi test: $failures checks failed; the packages and logs are in $work"
  exit 1
fi
rm -rf "$work"
echo "msi test: passed"
