#!/usr/bin/env bash
# The release as a Windows user gets it: builds it with scripts/package.sh, signed with a throwaway
# certificate on a SoftHSM token and time-stamped by a throwaway server, and a next version,
# unsigned, from a copy of the sources (also as the test's build, whose inputs stand for what Wine
# cannot show); then, in a fresh Wine prefix that reports Windows 10 1903, with the simulated
# driver:
#  1. on Windows 8.1 setup refuses (exit code, or a message) and installs nothing; beside an open
#     wizard a second setup is refused;
#  2. the zip holds exactly the program, its diagnostics tool, README.txt and the licence texts;
#  3. the wizard without the driver warns, naming its DLL, installs, leaves start at logon off and
#     starts nothing;
#  4. silent reinstalls: without the driver, no stop and no logon start; with /LOGON=yes, the
#     files, the shortcut, the Run value the program's "Launch on startup" sees as on (also when
#     Task Manager had switched it off), the size of our files only, and the program, started
#     from its shortcut, shows its loopback pair;
#  5. signatures verify, time-stamped and with the chain, also made from a .pfx and from PEM
#     files; no time stamp and a wrong password are refused; a failed signing leaves no setup;
#     the build without a certificate has none;
#  6. the winget and Scoop manifests agree with the files, CMake's version, setup's exit codes and
#     the uninstall entry, also with quotes and backslashes in their web addresses; an unsigned
#     setup gets none unless meant;
#  7. a silent upgrade to the next build, with the Run value in other letter case and README.txt
#     held open, ends only the installed copy (not a portable one), installs the new exe, keeps
#     choices and logon start;
#  8. the older version over the newer one is refused (exit code, or a message): nothing changes;
#     setup that stops after it ended the program (6; 2 before the uninstall entry) starts it
#     again; as another account (8) and elevated (no start) through the test build's inputs;
#  9. a silent uninstall while it runs ends it (not a portable copy), returns when done and leaves
#     only the choices, also with the Run value in its 8.3 spelling;
# 10. over a stale uninstall entry, /LOGON=yes with a quoted /D= into a folder with spaces,
#     non-ASCII letters, an apostrophe and a backtick: the Run value starts that exe, which sees
#     logon start on; a second installation elsewhere is refused, a stale uninstaller elsewhere
#     leaves it alone; an upgrade while it runs, and the uninstaller, end it there; nothing is left;
# 11. a copy that will not end (no window; not to be opened; windowless after Retry; one that
#     holds the exe from elsewhere), or a diagnostics window left open, stops setup and the
#     uninstaller with exit code 6, nothing changed and the program not ended.
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
# A time-stamping server of our own, after one that does not answer (port 9: nothing listens),
# and an issuer's certificate to add as the chain, as a token's certificate needs it.
for cert in "tsa:critical,timeStamping" "issuer:codeSigning"; do
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tessivane release test ${cert%%:*}" \
    -addext "extendedKeyUsage=${cert#*:}" -keyout "$work/${cert%%:*}.key" -out "$work/${cert%%:*}.crt" \
    >/dev/null 2>&1 || broken "openssl could not make the ${cert%%:*} certificate"
done
/usr/bin/python3 tests/release/tsa.py "$work" >/dev/null 2>&1 &
tsa=$!
trap 'kill $tsa' EXIT
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || broken "the time-stamping server did not start"
TESSIVANE_SIGN_CERT='pkcs11:token=release-test;object=release;type=cert' \
TESSIVANE_SIGN_KEY='pkcs11:token=release-test;object=release;type=private' \
TESSIVANE_SIGN_PKCS11_MODULE=$module TESSIVANE_SIGN_PASSWORD=$pin \
TESSIVANE_SIGN_CHAIN="$work/issuer.crt" \
TESSIVANE_SIGN_TIMESTAMP="http://127.0.0.1:9/ http://127.0.0.1:$(cat "$work/port")/" \
  bash scripts/package.sh || broken "scripts/package.sh failed"
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
# The next version as the release test's build: what Wine cannot show (the desktop shell's
# account and elevation, setup's own) comes from TESSIVANE_TEST_* variables.
inputs_setup="$work/Tessivane-$next-x64-test-inputs-setup.exe"
bash installer/build-installer.sh "$nextsrc/build/windows/release-stage" "$next" "$inputs_setup" \
  -DTEST_INPUTS || broken "could not build the test's setup"

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
trap 'kill $tsa; "$server" -k >/dev/null 2>&1; "$server" -w >/dev/null 2>&1; true' EXIT

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
running() { w "$probe" count ${1:+"$1"}; }  # running [exe name]
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
more_running() { [ "$(running "$2")" -gt "$1" ]; }
stand_in() {  # stand_in <exe> <mode> | stand_in <exe> <probe's command> <arguments...>
  local before pid exe=$1
  shift
  [ $# -gt 1 ] || set -- stand-in "$1"
  before=$(running "${exe##*[\\/]}")
  "$wine" "$exe" "$@" </dev/null >/dev/null 2>&1 &
  pid=$!
  wait_for 20 more_running "$before" "${exe##*[\\/]}" || return 1
  sleep 1  # for its window
  echo $pid
}
end_stand_in() { kill "$1"; wait_for 10 eval "! kill -0 $1 2>/dev/null"; }
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
# Task Manager's switch for the Run value, as hex bytes (03... is off); empty when absent.
approved_key='Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run'
approval() { w reg query "HKCU\\$approved_key" /v Tessivane_x64 2>/dev/null | sed -n 's/.*REG_BINARY *//p'; }
switch_off() { w reg add "HKCU\\$approved_key" /v Tessivane_x64 /t REG_BINARY /d 030000000000000000000000 /f >/dev/null; }
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

wizard_open() { w "$probe" wizard-rect "$1" >/dev/null; }
case_one_setup_at_a_time() {
  # A wizard left open holds setup's place: a second setup is refused.
  "$wine" "$setup" </dev/null >/dev/null 2>&1 &
  local first=$! code
  wait_for 30 wizard_open "Tessivane $version Setup" || fail "the wizard did not open"
  code=$(silent "$setup" /S)
  kill $first
  [ "$code" = 9 ] || fail "a second setup beside an open wizard ended with code $code"
  wait_for 10 eval '! wizard_open "Tessivane $version Setup"' || fail "the wizard did not end"
  nothing_installed || fail "the refused setup installed something"
  echo "refused with code 9 while a wizard was open"
}

case_zip() {
  local expected actual
  expected=$(printf '%s\n' "${shipped[@]}" | sort)
  actual=$(unzip -Z1 "$zip" | sort)
  [ "$actual" = "$expected" ] || fail "zip holds [$(echo $actual)], expected [$(echo $expected)]"
  # (grep reads to the end: an early exit could fail the writer, and the pipe, with SIGPIPE.)
  unzip -p "$zip" README.txt | grep "Tessivane $version for Windows" >/dev/null ||
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
  # Start at logon switched off in Task Manager, and a big file of the user's in the folder.
  switch_off
  local folder size
  folder=$(unixpath "$installdir")
  head -c 5000000 /dev/zero >"$folder/take.wav"
  code=0
  timeout 120 "$wine" "$setup" /S /LOGON=yes </dev/null >/dev/null 2>&1 || code=$?
  [ "$code" = 0 ] || fail "silent setup ended with code $code"
  [ -z "$(approval)" ] || fail "/LOGON=yes left start at logon switched off: [$(approval)]"
  # Apps & features counts our files only, in KB.
  size=$(w reg query "HKCU\\$uninstall_key" /v EstimatedSize | sed -n 's/.*REG_DWORD *//p')
  rm "$folder/take.wav"
  [ $((size)) = $(( ($(cd "$folder" && cat "${shipped[@]}" uninstall.exe | wc -c) + 1023) / 1024 )) ] ||
    fail "EstimatedSize is $((size)) KB, for $(du -sk "$folder" | cut -f1) KB of files"
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
# What a signature carries besides ours: a time stamp (a token of TSTInfo) and the issuer's chain.
stamped_with_chain() {
  rm -f "$work/signature"  # osslsigncode writes no file over another
  osslsigncode extract-signature -pem -in "$1" -out "$work/signature" >/dev/null 2>&1 &&
    openssl asn1parse -in "$work/signature" | grep id-smime-ct-TSTInfo >/dev/null &&
    openssl pkcs7 -in "$work/signature" -print_certs -noout |
      grep "CN *= *Tessivane release test issuer" >/dev/null
}
case_signatures() {
  unzip -p "$zip" tessivane.exe >"$work/zip-tessivane.exe"
  unzip -p "$zip" tessivane-check.exe >"$work/zip-tessivane-check.exe"
  unzip -p "$next_zip" tessivane.exe >"$work/next-tessivane.exe"
  # The same certificate as a password-protected .pfx, and as PEM files; knowingly without a time
  # stamp, which sign.sh otherwise refuses, as it refuses a key that does not open.
  openssl pkcs12 -export -inkey "$work/sign.key" -in "$work/sign.crt" -passout pass:pfx-secret \
    -out "$work/sign.pfx"
  ! TESSIVANE_SIGN_CERT="$work/sign.pfx" TESSIVANE_SIGN_PASSWORD=pfx-secret \
    bash installer/sign.sh --check 2>/dev/null || fail "sign.sh --check passed no time stamp"
  ! TESSIVANE_SIGN_CERT="$work/sign.pfx" TESSIVANE_SIGN_PASSWORD=wrong TESSIVANE_SIGN_TIMESTAMP=none \
    bash installer/sign.sh --check 2>/dev/null || fail "sign.sh --check passed a wrong password"
  cp "$work/next-tessivane.exe" "$work/pfx.exe" && cp "$work/next-tessivane.exe" "$work/pem.exe"
  TESSIVANE_SIGN_CERT="$work/sign.pfx" TESSIVANE_SIGN_PASSWORD=pfx-secret TESSIVANE_SIGN_TIMESTAMP=none \
    bash installer/sign.sh "$work/pfx.exe"
  TESSIVANE_SIGN_CERT="$work/sign.crt" TESSIVANE_SIGN_KEY="$work/sign.key" TESSIVANE_SIGN_TIMESTAMP=none \
    bash installer/sign.sh "$work/pem.exe"
  local file
  for file in "$work/zip-tessivane.exe" "$work/zip-tessivane-check.exe" "$setup" "$(unixpath "$installdir\\uninstall.exe")" \
              "$work/pfx.exe" "$work/pem.exe"; do
    signed "$file" || fail "$(basename "$file") does not verify: $(tail -n 3 "$work/verify.log")"
  done
  # The release's, from the token: time-stamped by the second server, the first one dead.
  for file in "$work/zip-tessivane.exe" "$work/zip-tessivane-check.exe" "$setup" "$(unixpath "$installdir\\uninstall.exe")"; do
    stamped_with_chain "$file" || fail "$(basename "$file") has no time stamp or no chain"
  done
  for file in "$work/next-tessivane.exe" "$next_setup"; do
    unsigned "$file" || fail "$(basename "$file") is signed, though no certificate was given"
  done
  # Signing that fails after the uninstaller was signed leaves no setup, signed or not.
  mkdir -p "$work/fake-bin" "$work/failed"
  printf '#!/bin/sh\n[ -e "$0.used" ] && exit 1\ntouch "$0.used"\nexec /usr/bin/osslsigncode "$@"\n' \
    >"$work/fake-bin/osslsigncode" && chmod +x "$work/fake-bin/osslsigncode"
  ! PATH="$work/fake-bin:$PATH" TESSIVANE_SIGN_CERT="$work/sign.crt" TESSIVANE_SIGN_KEY="$work/sign.key" \
    TESSIVANE_SIGN_TIMESTAMP=none bash installer/build-installer.sh "$build/release-stage" "$version" \
    "$work/failed/Tessivane-$version-x64-setup.exe" >/dev/null 2>&1 || fail "a failed signing went unnoticed"
  [ -z "$(ls -A "$work/failed")" ] || fail "a failed signing left [$(ls -A "$work/failed")]"
  echo "signed from the token, time-stamped, with the chain: tessivane.exe, tessivane-check.exe," \
    "setup, uninstall.exe; from a .pfx and PEM files; without a certificate: none"
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
  # None for an unsigned setup, unless that is meant.
  [ ! -e "$nextsrc/dist/scoop/tessivane.json" ] || fail "package.sh wrote manifests for an unsigned release"
  ! /usr/bin/python3 installer/write-manifests.py "$next" "$next_setup" "$next_zip" "$work/unsigned" \
    2>/dev/null || fail "the manifest writer took an unsigned setup"
  TESSIVANE_UNSIGNED=1 /usr/bin/python3 installer/write-manifests.py "$next" "$next_setup" "$next_zip" \
    "$work/unsigned" 2>/dev/null || fail "the manifest writer refused an unsigned setup meant so"
  echo "winget and Scoop manifests of $version agree with the files and uninstall entry $product"
}

case_silent_upgrade_while_running() {
  loopback_present || fail "the program from the previous case is not running: $(ports)"
  ! unzip -p "$zip" tessivane.exe | cmp -s - <(unzip -p "$next_zip" tessivane.exe) ||
    fail "the $next build's tessivane.exe is the same as $version's"
  # A portable copy runs too, the Run value names the installed program in other letter case, and
  # README.txt is held open: it keeps its old copy.
  local other holder code
  other=$(stand_in "$portable" obeys) || fail "the portable copy did not start"
  holder=$(stand_in "$portable" hold "$installdir\\README.txt") || fail "the holder did not start"
  set_run_value "${installed^^}"
  code=$(silent "$next_setup" /S)
  end_stand_in "$holder"
  [ "$code" = 0 ] || fail "silent upgrade beside an open README.txt ended with code $code"
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

case_stopped_after_ending() {
  loopback_present || fail "the program from the previous case is not running: $(ports)"
  local holder code
  # A copy starting from elsewhere holds the exe once setup has ended the program: setup stops
  # with nothing changed, and starts the program again.
  holder=$(stand_in "$portable" hold "$installed") || fail "the holder did not start"
  code=$(silent "$next_setup" /S)
  end_stand_in "$holder"
  [ "$code" = 6 ] || fail "setup beside a held tessivane.exe ended with code $code"
  wait_for 30 loopback_present || fail "setup stopped by tessivane.exe did not start the program again"
  # uninstall.exe held: setup stops (NSIS's 2) before it writes the uninstall entry, which keeps
  # the version it named, and starts the program again.
  w reg add "HKCU\\$uninstall_key" /v DisplayVersion /d 1.9 /f >/dev/null
  holder=$(stand_in "$portable" hold "$installdir\\uninstall.exe") || fail "the holder did not start"
  code=$(silent "$next_setup" /S)
  end_stand_in "$holder"
  [ "$code" = 2 ] || fail "setup beside a held uninstall.exe ended with code $code"
  [ "$(text "$uninstall_key" DisplayVersion)" = 1.9 ] ||
    fail "setup wrote the uninstall entry without its uninstaller"
  wait_for 30 loopback_present || fail "setup stopped by uninstall.exe did not start the program again"
  w reg add "HKCU\\$uninstall_key" /v DisplayVersion /d "$next" /f >/dev/null
  echo "stopped with 6 and with 2; the program runs again both times"
}

case_what_wine_cannot_show() {
  loopback_present || fail "the program from the previous case is not running: $(ports)"
  local code
  # "Run as administrator" with another account's credentials: refused, nothing changed.
  code=$(export TESSIVANE_TEST_SHELL_ACCOUNT=S-1-5-21-1-2-3-1001
         drive 1 "Tessivane $next Setup" "$inputs_setup")
  [ "$code" = 8 ] || fail "setup as another account ended with code $code"
  grep -q 'Run setup without "Run as administrator"' "$work/wizard.log" ||
    fail "no message said to run setup without \"Run as administrator\""
  ! grep -q '^page:' "$work/wizard.log" || fail "the wizard opened"
  loopback_present || fail "setup as another account ended the program: $(ports)"
  # Elevated above the desktop's shell, which is not there to start it: setup does not start
  # the program itself (later setups could not end it), and says how to.
  code=$(export TESSIVANE_TEST_ELEVATED=1 TESSIVANE_TEST_SHELL_ELEVATED=0
         drive 1 "Tessivane $next Setup" "$inputs_setup")
  [ "$code" = 0 ] || fail "the elevated upgrade ended with code $code"
  grep -q '^Start Tessivane from the Start menu' "$work/wizard.log" ||
    fail "no message said to start Tessivane from the Start menu"
  sleep 2
  none_running || fail "setup, elevated, started the program itself"
  "$wine" "$probe" start "$installed" </dev/null >/dev/null 2>&1
  wait_for 30 loopback_present || fail "the program did not start: $(ports)"
  echo "as another account: refused with 8; elevated: not started, with a message"
}

# A command line as Windows runs an uninstall entry's; prints its exit code.
run_line() { local c=0; timeout 120 "$wine" "$probe" run "$1" </dev/null >/dev/null 2>&1 || c=$?; echo $c; }
# The uninstaller as Windows runs it from Apps / Programs and Features; prints its exit code.
uninstall_quietly() {  # uninstall_quietly <program folder>
  local quiet
  quiet=$(text "$uninstall_key" QuietUninstallString) || fail "no QuietUninstallString"
  [ "$quiet" = "\"$1\\uninstall.exe\" /S _?=$1" ] || fail "QuietUninstallString is [$quiet]"
  run_line "$quiet"
}
# All but uninstall.exe, which its cleanup removes, with the folder, once the uninstaller ended.
left_for_cleanup() { [ -z "$(ls -A "$(unixpath "$1")" 2>/dev/null | grep -vx uninstall.exe)" ]; }
gone() { ! exists "$1"; }

case_silent_uninstall_while_running() {
  # End the copy that setup started (its exit code is not ours to see) and start one whose is.
  w "$probe" exit >/dev/null || fail "no running Tessivane to end"
  wait_for 20 none_running || fail "the program did not end on Exit"
  wait_for 10 no_loopback || fail "ports outlived the program: $(ports)"
  start_from_shortcut
  wait_for 30 loopback_present || fail "the loopback ports did not appear: $(ports)"
  local other code
  other=$(stand_in "$portable" obeys) || fail "the portable copy did not start"
  # The Run value in its short (8.3) spelling, which names the program only while it exists.
  local short
  short=$(w "$probe" short-path "$installed")
  [ -n "$short" ] && [ "$short" != "$installed" ] || fail "no short spelling of $installed: [$short]"
  set_run_value "$short"
  code=$(uninstall_quietly "$installdir")
  [ "$code" = 0 ] || fail "the uninstaller ended with code $code"
  # It returns once it is done.
  entry_gone && left_for_cleanup "$installdir" ||
    fail "the uninstaller returned before it was done: $(ls -A "$(unixpath "$installdir")" | xargs)"
  expect_clean_exit
  wait_for 10 gone "$installdir" || fail "uninstall.exe was not cleaned up"
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
  local dir="$localappdata\\Studio d'enregistrement Ünï Ω \`1\`\\Tessivane" exe code own stale
  exe="$dir\\tessivane.exe"
  # A stale uninstall entry (its folder deleted by hand) names a newer version: no refusal.
  w reg add "HKCU\\$uninstall_key" /v DisplayVersion /d 99.0 /f >/dev/null
  w reg add "HKCU\\$uninstall_key" /v InstallLocation /d "$installdir" /f >/dev/null
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
  # A copy of the uninstaller in another folder takes neither this entry nor its shortcuts along.
  mkdir -p "$work/stale" && cp "$(unixpath "$dir\\uninstall.exe")" "$work/stale/"
  stale=$(w winepath -w "$work/stale")
  code=$(run_line "\"$stale\\uninstall.exe\" /S _?=$stale")
  [ "$code" = 0 ] || fail "the stale uninstaller ended with code $code"
  [ "$(text "$uninstall_key" InstallLocation)" = "$dir" ] && exists "$shortcut" ||
    fail "a stale uninstaller removed this installation's entry or shortcut"
  # Switched off in Task Manager, start at logon stays so through an upgrade that is not told.
  switch_off
  # The upgrade finds the running copy there, replaces it and keeps its Run value.
  code=$(silent "$next_setup" /S)
  [ "$code" = 0 ] || fail "the upgrade in [$dir] ended with code $code"
  expect_files "$next_zip" "$dir"
  [ "$(text "$uninstall_key" InstallLocation)" = "$dir" ] ||
    fail "the upgrade's InstallLocation is [$(value "$uninstall_key" InstallLocation)]"
  run_value_is "$exe" || fail "the upgrade made the Run value [$(value "$run_key" Tessivane_x64)]"
  [ "$(approval)" = 030000000000000000000000 ] || fail "the upgrade switched start at logon on"
  wait_for 30 loopback_present || fail "the upgrade did not start the program again: $(ports)"
  [ "$(w "$probe" module-path)" = "$exe" ] || fail "the upgrade started [$(w "$probe" module-path)]"
  # And so does the uninstaller, which takes the switch along with the Run value.
  code=$(uninstall_quietly "$dir")
  [ "$code" = 0 ] || fail "the uninstaller ended with code $code"
  entry_gone || fail "the uninstall entry is still there"
  wait_for 10 none_running || fail "$(running) programs still run"
  wait_for 10 gone "$dir" || fail "left in [$dir]: $(ls -A "$(unixpath "$dir")")"
  run_value_absent || fail "the Run value is still there: $(value "$run_key" Tessivane_x64)"
  [ -z "$(approval)" ] || fail "the uninstaller left Task Manager's switch: [$(approval)]"
  echo "installed, started at logon, upgraded and removed while running: $exe"
}

# What setup and the uninstaller may not touch while a copy will not end.
installation() {
  local file
  for file in tessivane.exe tessivane-check.exe README.txt uninstall.exe; do
    sha "$(unixpath "$installdir\\$file")"
  done
  value "$uninstall_key" DisplayVersion
  ls -A "$(unixpath "$installdir")"
}
# The copy is still there, as Windows sees it (the Unix process of one that Windows ended may
# linger a moment); the program's stand-in by its window, which one ended and started again (the
# probe, without arguments) would not have.
copy_left_alone() { [ "$(running)" = 1 ] && { [ "$1" != diagnostics ] || w "$probe" module-path >/dev/null; }; }
case_copy_that_will_not_end() {
  local code before pid mode check
  code=$(silent "$setup" /S "/D=$installdir")
  [ "$code" = 0 ] || fail "setup of $version ended with code $code"
  # Stand-ins take the installed programs' places: a copy that setup cannot end, and a
  # diagnostics window.
  cp "$probe" "$(unixpath "$installed")"
  cp "$probe" "$(unixpath "$installdir\\tessivane-check.exe")"
  before=$(installation)
  # "held": a copy that starts after setup ended the installed one (here one from elsewhere that
  # holds the exe as the starting program does): its exe cannot be replaced, nor removed.
  # "diagnostics": the diagnostics tool's window left open (it waits for Enter) while the program
  # runs, which must then go on running.
  for mode in diagnostics windowless locked held; do
    check=
    if [ $mode = held ]; then
      pid=$(stand_in "$portable" hold "$installed") || fail "the $mode copy did not start"
    elif [ $mode = diagnostics ]; then
      pid=$(stand_in "$installed" obeys) || fail "the program's stand-in did not start"
      check=$(stand_in "$installdir\\tessivane-check.exe" windowless) || fail "the diagnostics did not start"
    else
      pid=$(stand_in "$installed" $mode) || fail "the $mode copy did not start"
    fi
    code=$(silent "$next_setup" /S)
    [ "$code" = 6 ] || fail "setup beside a $mode copy ended with code $code" \
      "(copies running: $(running); the installation $([ "$(installation)" = "$before" ] && echo unchanged || echo changed))"
    [ "$(installation)" = "$before" ] || fail "setup beside a $mode copy changed the installation"
    copy_left_alone $mode || fail "setup ended the $mode copy"
    if [ $mode != locked ]; then
      # As Windows runs it: it waits for its copy and ends with that one's exit code.
      code=$(uninstall_quietly "$installdir")
      [ "$code" = 6 ] || fail "the uninstaller beside a $mode copy ended with code $code"
      [ "$(installation)" = "$before" ] || fail "the uninstaller beside a $mode copy changed things"
      copy_left_alone $mode || fail "the uninstaller ended the $mode copy"
    fi
    kill "$pid" $check
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
run_case "a second setup beside an open one is refused" case_one_setup_at_a_time
run_case "the zip holds exactly the program, its diagnostics tool, README.txt and the licences" case_zip
run_case "the wizard without the driver warns, installs and starts nothing" case_wizard_without_driver
run_case "a silent reinstall with start at logon, switched on for real; the program starts from its \
shortcut" case_silent_reinstall_with_logon
run_case "the programs, setup and the uninstaller are signed and time-stamped; without a certificate \
nothing is; signing that fails leaves no setup" case_signatures
run_case "the winget and Scoop manifests match the files, the version and the uninstall entry" \
  case_manifests
run_case "a silent upgrade to a new build while it runs ends only it and keeps choices and logon" \
  case_silent_upgrade_while_running
run_case "the older version over the newer one is refused and changes nothing" \
  case_older_over_newer
run_case "setup that stops after ending the program starts it again" case_stopped_after_ending
run_case "what Wine cannot show, through the test build's inputs: another account, elevation" \
  case_what_wine_cannot_show
run_case "a silent uninstall while it runs ends it, returns when done and leaves only the stored choices" \
  case_silent_uninstall_while_running
run_case "start at logon, a refused second folder, upgrade and uninstall while it runs, in a folder \
with spaces, non-ASCII letters, an apostrophe and a backtick" case_folder_with_spaces_and_letters
run_case "a copy that will not end, or an open diagnostics window, stops setup and the uninstaller, \
with nothing changed" \
  case_copy_that_will_not_end

# Whatever a failed case left running goes with the prefix's server (the EXIT trap).
echo "release: $passed passed, $failed failed"
[ "$failed" = 0 ]
