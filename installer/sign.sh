#!/usr/bin/env bash
# sign.sh FILE: signs a Windows executable in place (Authenticode, SHA-256) with osslsigncode and
# the maintainer's certificate, named by the environment:
#   TESSIVANE_SIGN_CERT       the code-signing certificate, one of
#                             - a PKCS#12 file (.pfx or .p12, as Windows exports a certificate
#                               with its key and chain); then no TESSIVANE_SIGN_KEY
#                             - a PEM or DER file (with its chain, if any), and TESSIVANE_SIGN_KEY
#                               its private key, PEM or DER
#                             - a PKCS#11 URI (pkcs11:token=...;object=...;type=cert) of the
#                               certificate on a hardware token or in a cloud HSM, and
#                               TESSIVANE_SIGN_KEY the URI of its key (...;type=private)
#   TESSIVANE_SIGN_PKCS11_MODULE  with URIs: the token's PKCS#11 module (a .so of its vendor)
#   TESSIVANE_SIGN_PKCS11_ENGINE  with URIs, if wanted: the OpenSSL engine that drives the module
#                             (by default the "pkcs11" engine, Debian's libengine-pkcs11-openssl)
#   TESSIVANE_SIGN_PASSWORD   the key's or the .pfx's password, or the token's PIN, if any
#   TESSIVANE_SIGN_TIMESTAMP  an RFC 3161 time-stamping URL, if wanted (needs the network); a
#                             time stamp keeps the signature valid after the certificate expires
# sign.sh --check: only says whether those name something to sign with (exit code 1 and why).
# scripts/package.sh calls it for tessivane.exe; makensis for the uninstaller and for setup.
set -euo pipefail

cert=${TESSIVANE_SIGN_CERT:-} key=${TESSIVANE_SIGN_KEY:-}
module=${TESSIVANE_SIGN_PKCS11_MODULE:-}
refuse() { echo "sign: $*" >&2; exit 1; }
is_uri() { [[ $1 == pkcs11:* ]]; }
shopt -s nocasematch
if is_uri "$cert"; then
  is_uri "$key" || refuse "TESSIVANE_SIGN_KEY must be the PKCS#11 URI of the certificate's key"
  [ -f "$module" ] ||
    refuse "TESSIVANE_SIGN_PKCS11_MODULE must name the token's PKCS#11 module, not [$module]"
  args=(-pkcs11module "$module" -pkcs11cert "$cert" -key "$key")
  [ -z "${TESSIVANE_SIGN_PKCS11_ENGINE:-}" ] || args+=(-pkcs11engine "$TESSIVANE_SIGN_PKCS11_ENGINE")
elif [[ $cert == *.pfx || $cert == *.p12 ]]; then
  [ -f "$cert" ] || refuse "no PKCS#12 file [$cert]"
  [ -z "$key" ] || refuse "a PKCS#12 file holds its key: leave TESSIVANE_SIGN_KEY unset"
  args=(-pkcs12 "$cert")
else
  [ -f "$cert" ] && [ -f "$key" ] ||
    refuse "TESSIVANE_SIGN_CERT and TESSIVANE_SIGN_KEY must both name files (or see installer/sign.sh)"
  args=(-certs "$cert" -key "$key")
fi
shopt -u nocasematch
[ "${1:-}" != --check ] || exit 0

file=$1
if [ -n "${TESSIVANE_SIGN_PASSWORD:-}" ]; then
  # From a private file rather than the command line, where other users could read it.
  pass=$(mktemp) && trap 'rm -f "$pass"' EXIT
  printf %s "$TESSIVANE_SIGN_PASSWORD" >"$pass"
  args+=(-readpass "$pass")
fi
[ -z "${TESSIVANE_SIGN_TIMESTAMP:-}" ] || args+=(-ts "$TESSIVANE_SIGN_TIMESTAMP")
osslsigncode sign -h sha256 -n Tessivane "${args[@]}" -in "$file" -out "$file.signed" >/dev/null ||
  { rm -f "$file.signed"; refuse "osslsigncode could not sign $file"; }
mv -f "$file.signed" "$file"
