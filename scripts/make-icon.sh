#!/usr/bin/env bash
# make-icon.sh: draws ui/res/tessivane.ico and the installer's welcome picture
# installer/welcome.bmp from ui/res/tessivane.svg with Debian's tools (librsvg2-bin's rsvg-convert,
# ImageMagick, icoutils' icotool). Both are committed, so a build never needs these tools; run this
# after changing the drawing, and commit all three.
#
# The icon: nine images, in this order: 256, 48, 32, 16 px at 8 bits per pixel (palette, 1-bit mask), then
# 256, 64, 48, 32, 16 px at 32 bits per pixel (the 256 px one stored as PNG, as Windows expects).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
svg="$root/ui/res/tessivane.svg"
ico="$root/ui/res/tessivane.ico"
bmp="$root/installer/welcome.bmp"

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

# The installer's welcome and finish pages: the icon on a pale gradient of its own hues, with a soft
# shadow, in the 164 x 314 px that those pages give their picture. 24 bits per pixel, uncompressed,
# no alpha and no colour-space header (BMP3): the form every NSIS version loads.
rsvg-convert -w 120 -h 120 "$svg" -o "$work/welcome-icon.png"
/usr/bin/convert "$work/welcome-icon.png" \( +clone -background '#2d2466' -shadow 40x5+0+4 \) \
  +swap -background none -layers merge +repage "$work/welcome-shadowed.png"
/usr/bin/convert -size 164x314 gradient:'#ffffff'-'#d9d3f0' "$work/welcome-shadowed.png" \
  -gravity north -geometry +0+56 -composite -strip -type TrueColor BMP3:"$bmp"
/usr/bin/identify "$bmp"
