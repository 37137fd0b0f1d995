#!/usr/bin/env bash
# Renders the emblem to the PNG sizes the program ships (ImageMagick).
set -euo pipefail
cd "$(dirname "$0")"
for size in 32 48 64 128 256; do
  out=tandemix-$size.png
  [ "$size" = 32 ] && out=tandemix.png
  convert -background none -density $((96 * size / 32)) tandemix.svg -resize ${size}x${size} png32:$out
done
