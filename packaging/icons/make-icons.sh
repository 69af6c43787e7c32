#!/usr/bin/env bash
# Draws Brindle's application icon (a silver disc, like the window's own icon) with ImageMagick
# and writes it in the hicolor theme's usual sizes as hicolor/SIZExSIZE/apps/brindle.png.
# The PNGs are kept in the repository; run this again only to change the picture.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Drawn once at 1024 pixels and scaled down: a shaded face with a coloured sheen, the inner
# ring, then cut to a disc with a hole.
convert -size 1024x1024 radial-gradient:'#fbfcfd'-'#8e98a3' \
  -fill 'rgba(110,160,255,0.40)' -draw 'path "M 512,512 L 900,180 A 500,500 0 0,1 990,430 Z"' \
  -fill 'rgba(255,110,190,0.30)' -draw 'path "M 512,512 L 124,844 A 500,500 0 0,1 34,594 Z"' \
  -fill 'rgba(255,225,110,0.40)' -draw 'path "M 512,512 L 990,430 A 500,500 0 0,1 975,600 Z"' \
  -fill 'rgba(120,255,200,0.25)' -draw 'path "M 512,512 L 34,594 A 500,500 0 0,1 49,424 Z"' \
  -fill none -stroke '#5f6873' -strokewidth 16 -draw 'circle 512,512 512,32' \
  -fill '#dfe4e9' -stroke '#7d8792' -strokewidth 12 -draw 'circle 512,512 512,340' \
  -fill none -stroke '#aeb6bf' -strokewidth 8 -draw 'circle 512,512 512,400' \
  -fill none -stroke '#5f6873' -strokewidth 10 -draw 'circle 512,512 512,440' \
  "$work/face.png"
convert -size 1024x1024 xc:black -fill white -draw 'circle 512,512 512,24' \
  -fill black -draw 'circle 512,512 512,436' "$work/mask.png"
convert "$work/face.png" "$work/mask.png" -alpha off -compose copy_opacity -composite \
  "$work/disc.png"

for size in 16 22 24 32 48 64 128 256 512; do
  mkdir -p "hicolor/${size}x${size}/apps"
  convert "$work/disc.png" -filter Lanczos -resize "${size}x${size}" -depth 8 -strip \
    -define png:exclude-chunks=date,time "hicolor/${size}x${size}/apps/brindle.png"
done
