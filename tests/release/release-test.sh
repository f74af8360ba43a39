#!/usr/bin/env bash
# The release as a Windows user gets it: builds it with scripts/package.sh, signed with a throwaway
# certificate on a SoftHSM token, and a next version, unsigned, from a copy of the sources; then,
# in a fresh Wine prefix that reports Windows 10 1903, with the simulated driver:
#  1. on Windows 8.1 setup refuses (exit code, or a message) and installs nothing;
#  2. the zip holds exactly the program, its diagnostics tool, README.txt and the licence texts;
#  3. the wizard without the driver warns, naming its DLL, installs, leaves start at logon off and
#     starts nothing;
#  4. silent reinstalls: without the driver, no stop and no logon start; with /LOGON=yes, the
#     files, the shortcut, the Run value the program's "Launch on startup" sees as on, and the
#     program, started from its shortcut, shows its loopback pair;
#  5. signatures verify, also made from a .pfx and from PEM files; the build without a certificate
#     has none;
#  6. the winget and Scoop manifests agree with the files, CMake's version, setup's exit codes and
#     the uninstall entry, also with quotes and backslashes in their web addresses;
#  7. a silent upgrade to the next build, with the Run value in other letter case, ends only the
#     installed copy (not a portable one), installs the new exe, keeps choices and logon start;
#  8. the older version over the newer one is refused (exit code, or a message): nothing changes;
#  9. a silent uninstall while it runs ends it (not a portable copy) and leaves only the choices;
# 10. /LOGON=yes with a quoted /D= into a folder with spaces, non-ASCII letters, an apostrophe and
#     a backtick: the Run value starts that exe, which sees logon start on; a second installation
#     elsewhere is refused; an upgrade while it runs, and the uninstaller, end it there; nothing
#     is left;
# 11. a copy that will not end (no window; not to be opened; windowless after Retry; one that
#     holds the exe from elsewhere), or a diagnostics window left open, stops setup and the
#     uninstaller with exit code 6 and nothing changed.
# Ends with "release: N passed, N failed"; exit code 1 if any case failed.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi
cd "$root"
# Paths with non-ASCII letters reach Wine's programs intact only through a UTF-8 locale.
export LC_ALL=C.UTF-8
broken() { echo "release: $*" >&2; echo "release: 0 passed, 1 failed"; exit 1; }

work="$root/build/release-test"
rm -rf "$work" && mkdir -p "$work"
# A throwaway self-signed code-signing certificate, so that the release is built as a maintainer
# with a certificate builds it: on a token, reached through PKCS#11, as certificates are issued now.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tessivane release test" \
  -addext extendedKeyUsage=codeSigning -keyout "$work/sign.key" -out "$work/sign.crt" \
  >/dev/null 2>&1 || broken "openssl could not make a certificate"
export SOFTHSM2_CONF="$work/softhsm2.conf"
mkdir -p "$work/tokens"
printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' "$work/tokens" \
  >"$SOFTHSM2_CONF"
module=/usr/lib/softhsm/libsofthsm2.so pin=2580
softhsm2-util --init-token --free --label release-test --so-pin 0852 --pin $pin >/dev/null &&
openssl pkey -in "$work/sign.key" -outform DER -out "$work/sign.key.der" &&
openssl x509 -in "$work/sign.crt" -outform DER -out "$work/sign.crt.der" || broken "no token"
for object in privkey:sign.key.der cert:sign.crt.der; do
  pkcs11-tool --module $module --token-label release-test --login --pin $pin --id 01 \
    --label release --type "${object%%:*}" --write-object "$work/${object#*:}" >/dev/null 2>&1 ||
    broken "could not put the ${object%%:*} on the token"
done
TESSIVANE_SIGN_CERT='pkcs11:token=release-test;object=release;type=cert' \
TESSIVANE_SIGN_KEY='pkcs11:token=release-test;object=release;type=private' \
TESSIVANE_SIGN_PKCS11_MODULE=$module TESSIVANE_SIGN_PASSWORD=$pin bash scripts/package.sh ||
  broken "scripts/package.sh failed"
build="$root/build/windows"
cmake --build --preset windows --target teVirtualMIDI64 vmidi_client >/dev/null ||
  broken "could not build the simulated driver"
version=$(tr -d '[:space:]' <"$build/generated/version.txt")
zip="$root/dist/Tessivane-$version-x64.zip"
setup="$root/dist/Tessivane-$version-x64-setup.exe"
driver="$build/bin/teVirtualMIDI64.dll"
client="$build/bin/vmidi-client.exe"

# The next version, a build of its own: a copy of these sources whose project() says so,
# packaged without a certificate.
next="$(( ${version%%.*} + 1 )).0"
nextsrc="$work/next-source"
mkdir -p "$nextsrc"
tar -C "$root" --exclude=./build --exclude=./dist --exclude=./.deps --exclude=./.git -cf - . |
  tar -C "$nextsrc" -xf -
ln -s "$root/.deps" "$nextsrc/.deps"
sed -i "s/^project(Tessivane VERSION [0-9.]*/project(Tessivane VERSION $next/" "$nextsrc/CMakeLists.txt"
(unset TESSIVANE_SIGN_CERT TESSIVANE_SIGN_KEY; bash "$nextsrc/scripts/package.sh" >/dev/null 2>&1) ||
  broken "could not package version $next"
next_zip="$nextsrc/dist/Tessivane-$next-x64.zip"
next_setup="$nextsrc/dist/Tessivane-$next-x64-setup.exe"

probe="$work/release-probe.exe"
printf '#include <windows.h>\nCREATEPROCESS_MANIFEST_RESOURCE_ID RT_MANIFEST "%s"\n' \
  "$root/ui/res/tessivane.manifest" >"$work/probe.rc"
x86_64-w64-mingw32-windres "$work/probe.rc" -O coff -o "$work/probe.res.o" &&
x86_64-w64-mingw32-g++-posix -std=c++17 -O1 -Wall -Wextra -Werror -static \
  -o "$probe" "$root/tests/release/release_probe.cpp" "$work/probe.res.o" \
  -lpsapi -lole32 -luuid -lversion || broken "could not build the probe"

# A fresh prefix of our own; no Mono/Gecko prompts, and no menu entries written to the host.
export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine=/usr/lib/wine/wine64
server=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
mkdir -p "$WINEPREFIX"
"$server" -p </dev/null >/dev/null 2>&1
"$wine" wineboot --init </dev/null >/dev/null 2>&1
trap '"$server" -k >/dev/null 2>&1; "$server" -w >/dev/null 2>&1; true' EXIT

w() { "$wine" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
# The Windows version the prefix reports to the next process started (win10 is build 18362).
windows_version() { w reg add 'HKCU\Software\Wine' /v Version /d "$1" /f >/dev/null; }
windows_version win10
# The probe has the program's manifest: only its supportedOS makes Windows say 10.0 (not 6.2).
[ "$(w "$probe" windows-version)" = 10.0 ] ||
  broken "with the program's manifest Windows reports $(w "$probe" windows-version), not 10.0"
winenv() { w cmd /c echo "%$1%"; }
unixpath() { w winepath -u "$1"; }
localappdata=$(winenv LOCALAPPDATA)
appdata=$(winenv APPDATA)
system32=$(unixpath 'C:\windows\system32')
installdir="$localappdata\\Programs\\Tessivane"
installed="$installdir\\tessivane.exe"
shortcut="$appdata\\Microsoft\\Windows\\Start Menu\\Programs\\Tessivane.lnk"
check_shortcut="$appdata\\Microsoft\\Windows\\Start Menu\\Programs\\Tessivane diagnostics.lnk"
run_key='Software\Microsoft\Windows\CurrentVersion\Run'
settings_key='SOFTWARE\Velmora\Tessivane'
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessivane'
stored='{"ports":["Synth A","Piano (2)"]}'

fail() { echo "FAIL: $*" >&2; exit 1; }
wait_for() {  # wait_for <seconds> <command...>
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.3; done
}
value() { w "$probe" value "$1" "$2"; }  # "<type> <bytes> <text>", empty when absent
exists() { [ -e "$(unixpath "$1")" ]; }
in_port() { local c=0; "$wine" "$client" receive "Zarvik Loopback In" --count 0 --timeout 0 \
  </dev/null >/dev/null 2>&1 || c=$?; echo $c; }
out_port() { local c=0; "$wine" "$client" send "Zarvik Loopback Out" FE </dev/null >/dev/null 2>&1 \
  || c=$?; echo $c; }
ports() { echo "In: $(in_port), Out: $(out_port) (0 = present, 3 = absent)"; }
loopback_present() { [ "$(in_port)" = 0 ] && [ "$(out_port)" = 0 ]; }
no_loopback() { [ "$(in_port)" = 3 ] && [ "$(out_port)" = 3 ]; }
running() { w "$probe" count; }
none_running() { [ "$(running)" = 0 ]; }
entry_gone() { [ -z "$(value "$uninstall_key" DisplayName)" ]; }
text() { local v; v=$(value "$@"); echo "${v#* * }"; }  # just the text of a value
sha() { sha256sum "$1" | cut -d' ' -f1; }
silent() { local c=0; timeout 120 "$wine" "$@" </dev/null >/dev/null 2>&1 || c=$?; echo $c; }
nothing_installed() {
  ! exists "$installdir" && ! exists "$shortcut" && ! exists "$check_shortcut" && run_value_absent &&
    entry_gone
}

# A setup or uninstaller run with its windows, pressing each page's default button and, on the
# n-th message box, the n-th of BUTTONS (box ids; the last one for any later box). What it showed
# goes to $work/wizard.log; prints its exit code.
drive() {  # drive "<buttons>" <title> <program> [args...]
  local buttons=($1) title=$2 steps=0 boxes; shift 2
  rm -f "$work/setup.exit"; : >"$work/wizard.log"
  # Away from our output, which a caller may be reading to its end.
  (c=0; "$wine" "$@" </dev/null >/dev/null 2>&1 || c=$?; echo $c >"$work/setup.exit") \
    >/dev/null 2>&1 &
  until [ -s "$work/setup.exit" ]; do
    [ $steps -lt 240 ] || { echo "the wizard did not finish: $(w "$probe" windows)" >&2; return 1; }
    boxes=$(grep -c '^box:' "$work/wizard.log" || true)
    [ "$boxes" -lt ${#buttons[@]} ] || boxes=$((${#buttons[@]} - 1))
    # Nothing to press yet (or any more) is no failure.
    w "$probe" wizard-step "$title" "${buttons[$boxes]}" >>"$work/wizard.log" || true
    steps=$((steps + 1))
    sleep 0.5
  done
  sed 's/^/  /' "$work/wizard.log" >&2
  cat "$work/setup.exit"
}

# A stand-in for a Tessivane (the probe's stand-in, or what else it is asked to do) started from
# the given exe; prints its Unix process id, for kill to end it.
more_running() { [ "$(running)" -gt "$1" ]; }
stand_in() {  # stand_in <exe> <mode> | stand_in <exe> <probe's command> <arguments...>
  local before pid exe=$1
  shift
  [ $# -gt 1 ] || set -- stand-in "$1"
  before=$(running)
  "$wine" "$exe" "$@" </dev/null >/dev/null 2>&1 &
  pid=$!
  wait_for 20 more_running "$before" || return 1
  sleep 1  # for its window
  echo $pid
}
portable="$work/portable/tessivane.exe"
mkdir -p "$work/portable" && cp "$probe" "$portable"

# The program as a user starts it: from its Start-menu shortcut. Its exit code lands in a file.
start_from_shortcut() {
  rm -f "$work/program.exit"
  ("$wine" start /wait "$shortcut" </dev/null >/dev/null 2>&1; echo $? >"$work/program.exit") &
}
program_ended() { [ -s "$work/program.exit" ]; }
expect_clean_exit() {
  wait_for 30 program_ended || fail "the program did not end"
  [ "$(cat "$work/program.exit")" = 0 ] || fail "the program ended with code $(cat "$work/program.exit")"
}
# What a user gets, in the zip and in the program folder (there with the uninstaller).
shipped=(tessivane.exe tessivane-check.exe README.txt LICENSE.txt LICENSE-RtMidi.txt LICENSE-cJSON.txt
         LICENSE-readerwriterqueue.txt LICENSE-mingw-w64-runtime.txt)
expect_files() {  # expect_files [zip [folder]]
  local from=${1:-$zip} dir=${2:-$installdir} expected actual
  expected=$(printf '%s\n' "${shipped[@]}" uninstall.exe | sort)
  actual=$(ls -A "$(unixpath "$dir")" | sort)
  [ "$actual" = "$expected" ] || fail "installed files: [$(echo $actual)], expected [$(echo $expected)]"
  unzip -p "$from" tessivane.exe | cmp -s - "$(unixpath "$dir\\tessivane.exe")" ||
    fail "the installed tessivane.exe is not the one in $(basename "$from")"
  [ "$(w "$probe" shortcut "$shortcut")" = "$dir\\tessivane.exe" ] ||
    fail "the shortcut points to [$(w "$probe" shortcut "$shortcut")], not [$dir\\tessivane.exe]"
  [ "$(w "$probe" shortcut "$check_shortcut")" = "$dir\\tessivane-check.exe" ] ||
    fail "the diagnostics shortcut points to [$(w "$probe" shortcut "$check_shortcut")]"
}
# Exactly what the program's "Launch on startup" writes: REG_SZ (1), the path and its terminator.
expected_run_value="1 $((${#installed} + 1)) $installed"
run_value_absent() { [ -z "$(value "$run_key" Tessivane_x64)" ]; }
run_value_expected() { [ "$(value "$run_key" Tessivane_x64)" = "$expected_run_value" ]; }
run_value_is() { [ "$(text "$run_key" Tessivane_x64)" = "$1" ]; }
set_run_value() { w reg add "HKCU\\$run_key" /v Tessivane_x64 /t REG_SZ /d "$1" /f >/dev/null; }

case_windows_floor() {
  windows_version win81
  local code
  code=$(silent "$setup" /S /LOGON=yes)
  [ "$code" = 5 ] || fail "silent setup on Windows 8.1 ended with code $code"
  nothing_installed || fail "setup refused Windows 8.1 but installed something"
  code=$(drive 1 "Tessivane $version Setup" "$setup")
  [ "$code" = 5 ] || fail "setup on Windows 8.1 ended with code $code"
  [ "$(grep -c '^box: .*Windows 10 version 1903' "$work/wizard.log")" -ge 1 ] ||
    fail "no message named the Windows it needs"
  ! grep -q '^page:' "$work/wizard.log" || fail "the wizard opened on Windows 8.1"
  nothing_installed || fail "setup refused Windows 8.1 but installed something"
  windows_version win10
}

case_zip() {
  local expected actual
  expected=$(printf '%s\n' "${shipped[@]}" | sort)
  actual=$(unzip -Z1 "$zip" | sort)
  [ "$actual" = "$expected" ] || fail "zip holds [$(echo $actual)], expected [$(echo $expected)]"
  unzip -p "$zip" README.txt | grep -q "Tessivane $version for Windows" ||
    fail "README.txt does not name version $version"
  ! unzip -p "$zip" README.txt | grep -q '@VERSION@' || fail "README.txt has an unfilled version"
  echo "zip: $(echo $actual)"
}

case_wizard_without_driver() {
  [ ! -e "$system32/teVirtualMIDI64.dll" ] || fail "the prefix already has the driver"
  local code
  code=$(drive 1 "Tessivane $version Setup" "$setup")
  [ "$code" = 0 ] || fail "setup ended with code $code"
  grep -q '^box: .*teVirtualMIDI64.dll' "$work/wizard.log" || fail "no box named the driver's DLL"
  grep -q 'Install the teVirtualMIDI driver' "$work/wizard.log" ||
    fail "the box did not say to install the driver"
  # A slow box may be seen twice before it closes; it must be the only one.
  [ "$(grep '^box:' "$work/wizard.log" | sort -u | wc -l)" = 1 ] || fail "more than one message box"
  grep -q '^page: &Finish' "$work/wizard.log" || fail "the wizard never reached its last page"
  expect_files
  [ -z "$(value "$run_key" Tessivane_x64)" ] || fail "start at logon is on without being chosen"
  [ "$(value "$uninstall_key" DisplayVersion)" = "1 $((${#version} + 1)) $version" ] ||
    fail "uninstall entry: $(value "$uninstall_key" DisplayVersion)"
  sleep 1
  none_running || fail "setup started the program although the driver is missing"
}

case_silent_reinstall_with_logon() {
  # Still without the driver: a silent setup must not stop to say so.
  local code=0
  timeout 120 "$wine" "$setup" /S </dev/null >/dev/null 2>&1 || code=$?
  [ "$code" = 0 ] || fail "silent setup without the driver ended with code $code"
  [ -z "$(value "$run_key" Tessivane_x64)" ] || fail "a reinstall without /LOGON switched logon start on"
  cp "$driver" "$system32/teVirtualMIDI64.dll"
  w reg add "HKCU\\$settings_key" /v defaultPorts /t REG_SZ /d "$stored" /f >/dev/null
  code=0
  timeout 120 "$wine" "$setup" /S /LOGON=yes </dev/null >/dev/null 2>&1 || code=$?
  [ "$code" = 0 ] || fail "silent setup ended with code $code"
  expect_files
  # The one version reaches the installed program's version resource and the installer's.
  [ "$(w "$probe" file-version "$installed")" = "$version" ] ||
    fail "the installed tessivane.exe says version [$(w "$probe" file-version "$installed")]"
  [ "$(w "$probe" file-version "$(w winepath -w "$setup")")" = "$version" ] ||
    fail "the installer says version [$(w "$probe" file-version "$(w winepath -w "$setup")")]"
  [ "$(value "$run_key" Tessivane_x64)" = "$expected_run_value" ] ||
    fail "Run value [$(value "$run_key" Tessivane_x64)], expected [$expected_run_value]"
  start_from_shortcut
  wait_for 30 loopback_present || fail "the loopback ports did not appear: $(ports)"
  # The program's check mark compares the Run value with its own module path.
  local own
  own=$(w "$probe" module-path) || fail "no running Tessivane window"
  [ "$own" = "$installed" ] || fail "the program runs as [$own], the Run value says [$installed]"
  # And the program itself takes the value for its own: its "Launch on startup" then switches
  # off (removes it) rather than writing its path over it; a second time writes it back.
  w "$probe" command 203 >/dev/null || fail "no running Tessivane to send the command to"
  wait_for 10 run_value_absent || fail "the program did not see start at logon as on:" \
    "the value is [$(value "$run_key" Tessivane_x64)]"
  w "$probe" command 203 >/dev/null
  wait_for 10 run_value_expected || fail "the program wrote [$(value "$run_key" Tessivane_x64)]"
  echo "runs as $own; Run value: $(value "$run_key" Tessivane_x64)"
}

# Verified by osslsigncode with the throwaway certificate as the trusted root.
signed() { osslsigncode verify -CAfile "$work/sign.crt" -in "$1" >"$work/verify.log" 2>&1; }
unsigned() { ! osslsigncode extract-signature -in "$1" -out "$work/signature" >/dev/null 2>&1; }
case_signatures() {
  unzip -p "$zip" tessivane.exe >"$work/zip-tessivane.exe"
  unzip -p "$zip" tessivane-check.exe >"$work/zip-tessivane-check.exe"
  unzip -p "$next_zip" tessivane.exe >"$work/next-tessivane.exe"
  # The same certificate as a password-protected .pfx, and as PEM files.
  openssl pkcs12 -export -inkey "$work/sign.key" -in "$work/sign.crt" -passout pass:pfx-secret \
    -out "$work/sign.pfx"
  cp "$work/next-tessivane.exe" "$work/pfx.exe" && cp "$work/next-tessivane.exe" "$work/pem.exe"
  TESSIVANE_SIGN_CERT="$work/sign.pfx" TESSIVANE_SIGN_PASSWORD=pfx-secret \
    bash installer/sign.sh "$work/pfx.exe"
  TESSIVANE_SIGN_CERT="$work/sign.crt" TESSIVANE_SIGN_KEY="$work/sign.key" \
    bash installer/sign.sh "$work/pem.exe"
  local file
  for file in "$work/zip-tessivane.exe" "$work/zip-tessivane-check.exe" "$setup" "$(unixpath "$installdir\\uninstall.exe")" \
              "$work/pfx.exe" "$work/pem.exe"; do
    signed "$file" || fail "$(basename "$file") does not verify: $(tail -n 3 "$work/verify.log")"
  done
  for file in "$work/next-tessivane.exe" "$next_setup"; do
    unsigned "$file" || fail "$(basename "$file") is signed, though no certificate was given"
  done
  echo "signed from the token: tessivane.exe, setup, uninstall.exe; from a .pfx and PEM files;" \
    "without a certificate: none"
}

case_manifests() {
  local cmake_version found product field expected
  cmake_version=$(sed -n 's/^project(Tessivane VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
  [ "$cmake_version" = "$version" ] || fail "the release is $version, CMakeLists.txt $cmake_version"
  found=$(/usr/bin/python3 "$root/tests/release/check_manifests.py" "$root/dist" "$cmake_version")
  # The Apps & features entry the winget manifest promises is the one setup wrote.
  product=$(head -n 1 <<<"$found")
  while IFS='=' read -r field expected; do
    [ "$(text "${uninstall_key%\\*}\\$product" "$field")" = "$expected" ] ||
      fail "the uninstall entry's $field is [$(text "${uninstall_key%\\*}\\$product" "$field")]," \
        "the winget manifest says [$expected]"
  done < <(tail -n +2 <<<"$found")
  # Web addresses with quotes, backslashes, ": " and " #" stay what they were.
  local odd="$work/odd-manifests"
  mkdir -p "$odd" && cp "$setup" "$zip" "$odd/"
  export TESSIVANE_HOMEPAGE='https://example.com/say "hi": \\server\ #1'
  export TESSIVANE_DOWNLOAD_URL='https://example.com/it'"'"'s "here" \'
  /usr/bin/python3 installer/write-manifests.py "$version" "$setup" "$zip" "$odd" 2>/dev/null
  /usr/bin/python3 "$root/tests/release/check_manifests.py" "$odd" "$version" >/dev/null
  echo "winget and Scoop manifests of $version agree with the files and uninstall entry $product"
}

case_silent_upgrade_while_running() {
  loopback_present || fail "the program from the previous case is not running: $(ports)"
  ! unzip -p "$zip" tessivane.exe | cmp -s - <(unzip -p "$next_zip" tessivane.exe) ||
    fail "the $next build's tessivane.exe is the same as $version's"
  # A portable copy runs too, and the Run value names the installed program in other letter case.
  local other code
  other=$(stand_in "$portable" obeys) || fail "the portable copy did not start"
  set_run_value "${installed^^}"
  code=$(silent "$next_setup" /S)
  [ "$code" = 0 ] || fail "silent upgrade ended with code $code"
  expect_clean_exit
  [ "$(text "$uninstall_key" DisplayVersion)" = "$next" ] ||
    fail "after the upgrade the uninstall entry says $(value "$uninstall_key" DisplayVersion)"
  run_value_expected || fail "the upgrade made the Run value [$(value "$run_key" Tessivane_x64)]"
  [ "$(value "$settings_key" defaultPorts)" = "1 $((${#stored} + 1)) $stored" ] ||
    fail "the upgrade changed the stored choices to [$(value "$settings_key" defaultPorts)]"
  expect_files "$next_zip"
  wait_for 30 loopback_present || fail "the upgrade did not start the program again: $(ports)"
  kill -0 "$other" 2>/dev/null || fail "setup ended the portable copy"
  [ "$(running)" = 2 ] || fail "$(running) programs run after the upgrade, not it and the portable"
  kill "$other"
  echo "upgraded to $next: its own tessivane.exe runs again; the portable copy was left alone"
}

case_older_over_newer() {
  loopback_present || fail "the program from the previous case is not running: $(ports)"
  local code
  code=$(silent "$setup" /S)
  [ "$code" = 4 ] || fail "$version's silent setup over $next ended with code $code"
  code=$(drive 1 "Tessivane $version Setup" "$setup")
  [ "$code" = 4 ] || fail "$version's setup over $next ended with code $code"
  grep -q "^box: Tessivane $next is installed, which is newer" "$work/wizard.log" ||
    fail "no message said that $next is installed"
  ! grep -q '^page:' "$work/wizard.log" || fail "the wizard opened"
  [ "$(text "$uninstall_key" DisplayVersion)" = "$next" ] || fail "the uninstall entry changed"
  expect_files "$next_zip"
  run_value_expected || fail "the Run value changed to [$(value "$run_key" Tessivane_x64)]"
  loopback_present && [ "$(running)" = 1 ] || fail "the program does not run on: $(ports)"
  echo "refused; $next stays and runs"
}

# The uninstaller as Windows runs it from Apps / Programs and Features; prints its exit code.
uninstall_quietly() {  # uninstall_quietly <program folder>
  local quiet exe args
  quiet=$(text "$uninstall_key" QuietUninstallString) || fail "no QuietUninstallString"
  exe=${quiet#\"}; exe=${exe%%\"*}; args=${quiet##*\" }
  [ "$exe" = "$1\\uninstall.exe" ] && [ "$args" = /S ] || fail "QuietUninstallString is [$quiet]"
  silent "$exe" $args
}

case_silent_uninstall_while_running() {
  # End the copy that setup started (its exit code is not ours to see) and start one whose is.
  w "$probe" exit >/dev/null || fail "no running Tessivane to end"
  wait_for 20 none_running || fail "the program did not end on Exit"
  wait_for 10 no_loopback || fail "ports outlived the program: $(ports)"
  start_from_shortcut
  wait_for 30 loopback_present || fail "the loopback ports did not appear: $(ports)"
  local other code
  other=$(stand_in "$portable" obeys) || fail "the portable copy did not start"
  set_run_value "${installed,,}"
  code=$(uninstall_quietly "$installdir")
  [ "$code" = 0 ] || fail "the uninstaller ended with code $code"
  expect_clean_exit
  wait_for 60 entry_gone || fail "the uninstall entry is still there"
  kill -0 "$other" 2>/dev/null || fail "the uninstaller ended the portable copy"
  kill "$other"
  wait_for 10 none_running || fail "$(running) programs still run"
  wait_for 10 no_loopback || fail "ports outlived the program: $(ports)"
  ! exists "$installdir" || fail "left in the program folder: $(ls -A "$(unixpath "$installdir")")"
  ! exists "$shortcut" || fail "the Start-menu shortcut is still there"
  run_value_absent || fail "the Run value is still there: $(value "$run_key" Tessivane_x64)"
  [ "$(value "$settings_key" defaultPorts)" = "1 $((${#stored} + 1)) $stored" ] ||
    fail "uninstall changed the stored choices to [$(value "$settings_key" defaultPorts)]"
  echo "kept: $(value "$settings_key" defaultPorts) and the portable copy"
}

case_folder_with_spaces_and_letters() {
  # An apostrophe or a backtick ends a quoted text in setup's System calls.
  local dir="$localappdata\\Studio d'enregistrement Ünï Ω \`1\`\\Tessivane" exe code own
  exe="$dir\\tessivane.exe"
  # One argument with spaces: Wine passes it in quotes, as PowerShell does.
  code=$(silent "$setup" /S /LOGON=yes "/D=$dir")
  [ "$code" = 0 ] || fail "setup into [$dir] ended with code $code"
  expect_files "$zip" "$dir"
  run_value_is "$exe" || fail "Run value [$(value "$run_key" Tessivane_x64)], expected [$exe]"
  # As Windows starts it at logon: the value as a command line. (Not through w's pipe, which the
  # program would hold open.)
  "$wine" "$probe" start "$(text "$run_key" Tessivane_x64)" </dev/null >/dev/null 2>&1 ||
    fail "the Run value starts nothing"
  wait_for 30 loopback_present || fail "the loopback ports did not appear: $(ports)"
  own=$(w "$probe" module-path)
  [ "$own" = "$exe" ] || fail "the Run value started [$own]"
  w "$probe" command 203 >/dev/null
  wait_for 10 run_value_absent || fail "the program did not see start at logon as on"
  w "$probe" command 203 >/dev/null
  wait_for 10 run_value_is "$exe" || fail "the program wrote [$(value "$run_key" Tessivane_x64)]"
  # A second installation, in another folder, is refused.
  code=$(silent "$next_setup" /S "/D=$installdir")
  [ "$code" = 7 ] || fail "setup into a second folder beside [$dir] ended with code $code"
  ! exists "$installdir" && [ "$(text "$uninstall_key" InstallLocation)" = "$dir" ] ||
    fail "setup into a second folder changed things"
  # The upgrade finds the running copy there, replaces it and keeps its Run value.
  code=$(silent "$next_setup" /S)
  [ "$code" = 0 ] || fail "the upgrade in [$dir] ended with code $code"
  expect_files "$next_zip" "$dir"
  [ "$(text "$uninstall_key" InstallLocation)" = "$dir" ] ||
    fail "the upgrade's InstallLocation is [$(value "$uninstall_key" InstallLocation)]"
  run_value_is "$exe" || fail "the upgrade made the Run value [$(value "$run_key" Tessivane_x64)]"
  wait_for 30 loopback_present || fail "the upgrade did not start the program again: $(ports)"
  [ "$(w "$probe" module-path)" = "$exe" ] || fail "the upgrade started [$(w "$probe" module-path)]"
  # And so does the uninstaller.
  code=$(uninstall_quietly "$dir")
  [ "$code" = 0 ] || fail "the uninstaller ended with code $code"
  wait_for 60 entry_gone || fail "the uninstall entry is still there"
  wait_for 10 none_running || fail "$(running) programs still run"
  ! exists "$dir" || fail "left in [$dir]: $(ls -A "$(unixpath "$dir")")"
  run_value_absent || fail "the Run value is still there: $(value "$run_key" Tessivane_x64)"
  echo "installed, started at logon, upgraded and removed while running: $exe"
}

# What setup and the uninstaller may not touch while a copy will not end.
# The installation as the copies that will not end must leave it. Not the diagnostics tool:
# setup and the uninstaller replace or remove it first, before the program, so that its open
# window stops them before anything else changes.
installation() {
  local file
  for file in tessivane.exe README.txt uninstall.exe; do
    sha "$(unixpath "$installdir\\$file")"
  done
  value "$uninstall_key" DisplayVersion
  ls -A "$(unixpath "$installdir")" | grep -v '^tessivane-check.exe$'
}
case_copy_that_will_not_end() {
  local code before check_before pid mode
  code=$(silent "$setup" /S "/D=$installdir")
  [ "$code" = 0 ] || fail "setup of $version ended with code $code"
  # The stand-in takes the installed program's place, as a copy that setup cannot end.
  cp "$probe" "$(unixpath "$installed")"
  before=$(installation)
  check_before=$(sha "$(unixpath "$installdir\\tessivane-check.exe")")
  # "held": a copy that starts after setup ended the installed one (here one from elsewhere that
  # holds the exe as the starting program does): its exe cannot be replaced, nor removed.
  # "diagnostics" (first, while the tool is there): the diagnostics tool's window left open (it
  # waits for Enter) holds its exe.
  for mode in diagnostics windowless locked held; do
    if [ $mode = held ]; then
      pid=$(stand_in "$portable" hold "$installed") || fail "the $mode copy did not start"
    elif [ $mode = diagnostics ]; then
      pid=$(stand_in "$portable" hold "$installdir\\tessivane-check.exe") || fail "the $mode copy did not start"
    else
      pid=$(stand_in "$installed" $mode) || fail "the $mode copy did not start"
    fi
    code=$(silent "$next_setup" /S)
    [ "$code" = 6 ] || fail "setup beside a $mode copy ended with code $code" \
      "(copies running: $(running); the installation $([ "$(installation)" = "$before" ] && echo unchanged || echo changed))"
    [ "$(installation)" = "$before" ] || fail "setup beside a $mode copy changed the installation"
    if [ $mode = diagnostics ]; then
      [ "$(sha "$(unixpath "$installdir\\tessivane-check.exe")")" = "$check_before" ] ||
        fail "setup replaced the open diagnostics tool"
    fi
    if [ $mode != locked ]; then
      # Run in place (_?=), the uninstaller's exit code is its own.
      code=$(silent "$installdir\\uninstall.exe" /S "_?=$installdir")
      [ "$code" = 6 ] || fail "the uninstaller beside a $mode copy ended with code $code"
      [ "$(installation)" = "$before" ] || fail "the uninstaller beside a $mode copy changed things"
      [ $mode != diagnostics ] || exists "$installdir\\tessivane-check.exe" ||
        fail "the uninstaller removed the open diagnostics tool"
    fi
    kill -0 "$pid" 2>/dev/null || fail "setup ended the $mode copy"
    kill "$pid"
    wait_for 10 none_running || fail "the $mode copy did not end"
  done
  # Its window goes on Exit, its process stays: Retry waits on it again; then Cancel.
  pid=$(stand_in "$installed" lingers) || fail "the lingering copy did not start"
  code=$(drive "4 2" "Tessivane $next Setup" "$next_setup")
  [ "$code" = 6 ] || fail "setup beside a lingering copy ended with code $code"
  [ "$(grep -c '^box: Tessivane is still running from' "$work/wizard.log")" -ge 2 ] ||
    fail "no second message after Retry"
  grep -qF "$installdir" "$work/wizard.log" || fail "the message did not name the folder"
  [ "$(installation)" = "$before" ] || fail "setup beside a lingering copy changed the installation"
  kill "$pid"
  echo "setup and the uninstaller stopped with code 6 and changed nothing"
}

passed=0 failed=0
run_case() {
  echo "== $1"
  local code=0
  # Not inside || or if: there set -e would be ignored within the case.
  ( set -eE; trap 'echo "FAIL: line $LINENO: $BASH_COMMAND" >&2' ERR; "$2" ); code=$?
  if [ "$code" = 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}
run_case "on Windows 8.1 setup refuses, silently and with a message, and installs nothing" \
  case_windows_floor
windows_version win10
run_case "the zip holds exactly the program, its diagnostics tool, README.txt and the licences" case_zip
run_case "the wizard without the driver warns, installs and starts nothing" case_wizard_without_driver
run_case "a silent reinstall with start at logon; the program starts from its shortcut" \
  case_silent_reinstall_with_logon
run_case "the program, setup and the uninstaller are signed; without a certificate nothing is" \
  case_signatures
run_case "the winget and Scoop manifests match the files, the version and the uninstall entry" \
  case_manifests
run_case "a silent upgrade to a new build while it runs ends only it and keeps choices and logon" \
  case_silent_upgrade_while_running
run_case "the older version over the newer one is refused and changes nothing" \
  case_older_over_newer
run_case "a silent uninstall while it runs ends it and leaves only the stored choices" \
  case_silent_uninstall_while_running
run_case "start at logon, a refused second folder, upgrade and uninstall while it runs, in a folder \
with spaces, non-ASCII letters, an apostrophe and a backtick" case_folder_with_spaces_and_letters
run_case "a copy that will not end stops setup and the uninstaller, with nothing changed" \
  case_copy_that_will_not_end

# Whatever a failed case left running goes with the prefix's server (the EXIT trap).
echo "release: $passed passed, $failed failed"
[ "$failed" = 0 ]
