#!/usr/bin/env bash
# Draws the program's pictures (product logo, success and error marks, application icon) with ImageMagick.
# The results are committed under resources/; run this only to change them. Every byte of them is in the
# installer the user downloads, so they are then recompressed (zopflipng, Debian's zopfli package; pngquant).
set -euo pipefail
out=$(cd "$(dirname "$0")/../resources" && pwd)
convert -size 256x256 xc:none -fill '#673399' -draw 'roundrectangle 8,8 247,247 48,48' \
    -fill none -stroke white -strokewidth 22 -draw 'circle 124,120 124,52' \
    -stroke white -strokewidth 24 -draw 'line 150,150 200,206' \
    -depth 8 -define png:color-type=6 "$out/product_logo.png"
convert -size 512x512 xc:none -fill '#2EA043' -draw 'circle 256,256 256,16' \
    -fill none -stroke white -strokewidth 48 -draw 'polyline 140,266 224,350 380,178' \
    -depth 8 -define png:color-type=6 "$out/success_mark.png"
convert -size 512x512 xc:none -fill '#D1242F' -draw 'circle 256,256 256,16' \
    -stroke white -strokewidth 48 -draw 'line 168,168 344,344' -draw 'line 344,168 168,344' \
    -depth 8 -define png:color-type=6 "$out/error_mark.png"
convert "$out/product_logo.png" -define icon:auto-resize=256,48,32,16 "$out/wayfarer.ico"
# The success mark's smooth edges hold more colours than a palette: it is reduced to 256 (pngquant), which cannot
# be told apart at any size the page shows it, and takes half the bytes.
pngquant --quality=90-100 --speed 1 --strip -f -o "$out/success_mark.png" "$out/success_mark.png"
for picture in product_logo success_mark error_mark; do
    zopflipng -m -y "$out/$picture.png" "$out/$picture.png" >/dev/null
done
python3 "$(dirname "$0")/recompress-icon.py" "$out/wayfarer.ico"
