#!/usr/bin/env bash
# Builds the release into dist/ from the checkout alone:
#   dist/Tessivane-<version>-x64.zip        the portable copy
#   dist/Tessivane-<version>-x64-setup.exe  the per-user installer (NSIS)
#   dist/winget/..., dist/scoop/...         manifests for Windows package managers
#                                           (installer/write-manifests.py)
# The version is the project's own (CMakeLists.txt), read from the file the build generates.
# With TESSIVANE_SIGN_CERT naming a code-signing certificate (a .pfx, a certificate and key file,
# or a token's; installer/sign.sh), tessivane.exe, tessivane-check.exe, the uninstaller and setup
# are signed; without, none is, and the script says so loudly. The manifests are written for a
# signed release only, or for an unsigned one with TESSIVANE_UNSIGNED=1 (meant so, for a test).
# Only the program and its diagnostics tool are built; the simulated driver, its client and the
# tests are never shipped.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh

# Before the build: a certificate that cannot be used stops the release, never ships it unsigned.
signed=
if [ -n "${TESSIVANE_SIGN_CERT:-}${TESSIVANE_SIGN_KEY:-}" ]; then
  bash installer/sign.sh --check
  signed=yes
fi
unsigned_warning() {
  [ -z "$signed" ] || return 0
  cat >&2 <<'WARNING'
########################################################################################
###  THIS RELEASE IS NOT SIGNED: no TESSIVANE_SIGN_CERT. Windows SmartScreen will     ###
###  warn whoever starts it. Not for publishing (see "The release build" in README).   ###
########################################################################################
WARNING
}
unsigned_warning

build="$root/build/windows"
echo "== building tessivane.exe and tessivane-check.exe (windows preset)"
cmake --preset windows >/dev/null
cmake --build --preset windows --target tessivane tessivane_check -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

version=$(tr -d '[:space:]' <"$build/generated/version.txt")
[ -n "$version" ] || { echo "package: no version in $build/generated/version.txt" >&2; exit 1; }
name="Tessivane-$version-x64"

# What the zip and the installer ship, and nothing else.
stage="$build/release-stage"
rm -rf "$stage" && mkdir -p "$stage"
x86_64-w64-mingw32-strip -o "$stage/tessivane.exe" "$build/ui/tessivane.exe"
x86_64-w64-mingw32-strip -o "$stage/tessivane-check.exe" "$build/check/tessivane-check.exe"
if [ -n "$signed" ]; then
  bash installer/sign.sh "$stage/tessivane.exe"
  bash installer/sign.sh "$stage/tessivane-check.exe"
fi
# Text files get Windows line ends, so that every editor there shows them right.
crlf() { sed 's/\r$//; s/$/\r/' "$1" >"$2"; }
sed "s/@VERSION@/$version/g" installer/README.txt >"$stage/README.tmp"
crlf "$stage/README.tmp" "$stage/README.txt" && rm "$stage/README.tmp"
crlf LICENSE "$stage/LICENSE.txt"
# Licences of what is linked into tessivane.exe, as Debian states them for the very sources we
# build from.
licence() {
  [ -f "$2" ] || { echo "package: $2 is missing: run scripts/setup.sh" >&2; exit 1; }
  crlf "$2" "$stage/LICENSE-$1.txt"
}
licence RtMidi /usr/share/doc/librtmidi-dev/copyright
licence cJSON /usr/share/doc/libcjson-dev/copyright
licence readerwriterqueue /usr/share/doc/libreaderwriterqueue-dev/copyright
# Static linking puts the mingw-w64 runtime and winpthreads into the exe; their terms ask for
# the notice to travel with it.
licence mingw-w64-runtime /usr/share/doc/mingw-w64-common/copyright

mkdir -p dist
rm -f "dist/$name.zip" "dist/$name-setup.exe"
(cd "$stage" && zip -q -X "$root/dist/$name.zip" tessivane.exe tessivane-check.exe README.txt LICENSE*.txt)
bash installer/build-installer.sh "$stage" "$version" "dist/$name-setup.exe"
# Debian's Python, which has the YAML library (python3-yaml). An unsigned setup gets manifests
# only when meant; stale ones of this version go.
if [ -n "$signed" ] || [ "${TESSIVANE_UNSIGNED:-}" = 1 ]; then
  /usr/bin/python3 installer/write-manifests.py "$version" "dist/$name-setup.exe" "dist/$name.zip" dist
else
  rm -rf "dist/winget/manifests/v/Velmora/Tessivane/$version" dist/scoop/tessivane.json
  echo "package: no winget or Scoop manifests for an unsigned release (TESSIVANE_UNSIGNED=1 to" \
    "write them all the same)" >&2
fi

echo "== release $version in dist/"
ls -l "dist/$name.zip" "dist/$name-setup.exe"
unsigned_warning
