#!/usr/bin/env bash
# make-icon.sh: draws ui/res/tessivane.ico from ui/res/tessivane.svg with Debian's tools
# (librsvg2-bin's rsvg-convert, ImageMagick, icoutils' icotool). The .ico is committed, so a build
# never needs these tools; run this after changing the drawing, and commit both.
#
# Nine images, in this order: 256, 48, 32, 16 px at 8 bits per pixel (palette, 1-bit mask), then
# 256, 64, 48, 32, 16 px at 32 bits per pixel (the 256 px one stored as PNG, as Windows expects).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
svg="$root/ui/res/tessivane.svg"
ico="$root/ui/res/tessivane.ico"

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
missing=()
command -v rsvg-convert >/dev/null || missing+=(librsvg2-bin)
command -v icotool >/dev/null || missing+=(icoutils)
[ -x /usr/bin/convert ] || missing+=(imagemagick)
if [ ${#missing[@]} -gt 0 ]; then
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for size in 256 64 48 32 16; do
  rsvg-convert -w "$size" -h "$size" "$svg" -o "$work/rgba-$size.png"
done
# 255 colours and the transparent one; no time stamps, so the same drawing gives the same file.
for size in 256 48 32 16; do
  /usr/bin/convert "$work/rgba-$size.png" -strip -colors 255 PNG8:"$work/indexed-$size.png"
done
icotool --create --output="$ico" \
  --bit-depth=8 "$work/indexed-256.png" "$work/indexed-48.png" "$work/indexed-32.png" "$work/indexed-16.png" \
  --bit-depth=32 --raw="$work/rgba-256.png" "$work/rgba-64.png" "$work/rgba-48.png" \
  "$work/rgba-32.png" "$work/rgba-16.png"
icotool --list "$ico"
