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
#   TESSIVANE_SIGN_CHAIN      a PEM file of the certificates between ours and the root (the
#                             issuer's intermediates), added to each signature; a token usually
#                             holds only our own certificate
#   TESSIVANE_SIGN_PASSWORD   the key's or the .pfx's password, or the token's PIN, if any
#   TESSIVANE_SIGN_TIMESTAMP  one or more RFC 3161 time-stamping URLs, separated by spaces, tried
#                             in turn (signing needs the network then). Required: a signature
#                             without a time stamp dies with the certificate, and Windows then
#                             rejects every release signed with it. "none" signs without one,
#                             knowingly (for tests).
# sign.sh --check: proves before a build that these work: the settings are complete and the key
# opens (it signs a scrap executable, without a time stamp); exit code 1 and why otherwise.
# scripts/package.sh calls it for tessivane.exe and tessivane-check.exe; makensis for the
# uninstaller and for setup.
set -euo pipefail

cert=${TESSIVANE_SIGN_CERT:-} key=${TESSIVANE_SIGN_KEY:-}
module=${TESSIVANE_SIGN_PKCS11_MODULE:-} chain=${TESSIVANE_SIGN_CHAIN:-}
timestamps=${TESSIVANE_SIGN_TIMESTAMP:-}
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
if [ -n "$chain" ]; then
  [ -f "$chain" ] || refuse "TESSIVANE_SIGN_CHAIN names no file: [$chain]"
  args+=(-ac "$chain")
fi
[ -n "$timestamps" ] ||
  refuse "no TESSIVANE_SIGN_TIMESTAMP: a signature without a time stamp dies with the" \
    "certificate; name one or more time-stamping URLs, or \"none\" to sign without, knowingly"

scratch=$(mktemp -d) && trap 'rm -rf "$scratch"' EXIT
if [ -n "${TESSIVANE_SIGN_PASSWORD:-}" ]; then
  # From a private file rather than the command line, where other users could read it.
  printf %s "$TESSIVANE_SIGN_PASSWORD" >"$scratch/pass"
  args+=(-readpass "$scratch/pass")
fi
sign() {  # sign FILE [osslsigncode options]: in place, or not at all
  local file=$1
  shift
  osslsigncode sign -h sha256 -n Tessivane "${args[@]}" "$@" -in "$file" -out "$file.signed" \
    >/dev/null || { rm -f "$file.signed"; return 1; }
  mv -f "$file.signed" "$file"
}

if [ "${1:-}" = --check ]; then
  printf 'void start(void) {}\n' | x86_64-w64-mingw32-gcc -x c - -nostdlib -e start \
    -o "$scratch/scrap.exe" || refuse "could not build a scrap executable to sign"
  sign "$scratch/scrap.exe" || refuse "the certificate or its key did not open (password or PIN?)"
  exit 0
fi

file=$1
stamps=()
if [ "$timestamps" != none ]; then
  for url in $timestamps; do stamps+=(-ts "$url"); done
fi
sign "$file" "${stamps[@]}" || refuse "osslsigncode could not sign $file"
