#!/usr/bin/env bash
# sign.sh FILE: signs a Windows executable in place (Authenticode, SHA-256) with osslsigncode and
# the maintainer's certificate, named by the environment:
#   TESSIVANE_SIGN_CERT       the code-signing certificate, PEM or DER (with its chain, if any)
#   TESSIVANE_SIGN_KEY        its private key, PEM or DER
#   TESSIVANE_SIGN_PASSWORD   the key's password, if it has one
#   TESSIVANE_SIGN_TIMESTAMP  an RFC 3161 time-stamping URL, if wanted (needs the network); a
#                             time stamp keeps the signature valid after the certificate expires
# scripts/package.sh calls it for tessivane.exe; makensis for the uninstaller and for setup.
set -euo pipefail
file=$1
args=(sign -h sha256 -n Tessivane -certs "$TESSIVANE_SIGN_CERT" -key "$TESSIVANE_SIGN_KEY")
if [ -n "${TESSIVANE_SIGN_PASSWORD:-}" ]; then
  # From a private file rather than the command line, where other users could read it.
  pass=$(mktemp) && trap 'rm -f "$pass"' EXIT
  printf %s "$TESSIVANE_SIGN_PASSWORD" >"$pass"
  args+=(-readpass "$pass")
fi
[ -z "${TESSIVANE_SIGN_TIMESTAMP:-}" ] || args+=(-ts "$TESSIVANE_SIGN_TIMESTAMP")
osslsigncode "${args[@]}" -in "$file" -out "$file.signed" >/dev/null
mv -f "$file.signed" "$file"
