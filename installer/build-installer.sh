#!/usr/bin/env bash
# build-installer.sh STAGE VERSION OUTFILE [MAKENSIS OPTIONS...]: compiles the NSIS installer from
# the files in STAGE. VERSION is the project's version as people see it (e.g. 1.0); its
# four-number form for the installer's version resource is derived here. With TESSIVANE_SIGN_CERT
# set (see sign.sh) the uninstaller and setup are signed, tessivane-check.exe and tessivane.exe
# having been signed before they were staged. Further options go to makensis (the release test
# passes -DTEST_INPUTS). OUTFILE appears only when all of it worked: never unsigned when it
# should be signed.
set -euo pipefail
stage=$1 version=$2 outfile=$3
shift 3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")

IFS=. read -r major minor patch tweak <<<"$version"
quad="${major}.${minor:-0}.${patch:-0}.${tweak:-0}"

command -v makensis >/dev/null || { echo "makensis not found: run scripts/setup.sh" >&2; exit 1; }
sign=()
[ -z "${TESSIVANE_SIGN_CERT:-}" ] || sign=(-DSIGN="$here/sign.sh")
mkdir -p "$(dirname "$outfile")"
target="$(cd "$(dirname "$outfile")" && pwd)/$(basename "$outfile")"
# makensis writes setup before its signing runs (!finalize), and leaves it when that fails.
rm -f "$target"
partial="${target%.exe}.partial.exe"
trap 'rm -f "$partial"' EXIT
makensis -V2 -WX -NOCD "${sign[@]}" "$@" \
  -DVERSION="$version" -DVERSION_QUAD="$quad" \
  -DSTAGE="$(cd "$stage" && pwd)" \
  -DOUTFILE="$partial" \
  -DICON="$root/ui/res/tessivane.ico" \
  -DWELCOME_BITMAP="$here/welcome.bmp" \
  "$here/tessivane.nsi"
mv -f "$partial" "$target"
