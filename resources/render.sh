#!/bin/sh
# Re-renders the PNGs from their SVG sources (needs rsvg-convert and ImageMagick's convert).
set -eu
cd "$(dirname "$0")"
rsvg-convert -w 32 -h 32 ferox.svg -o ferox.png
for size in 16 24 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" ferox.svg -o "ferox-$size.png"
done
# The About picture is opaque: store it as 24-bit colour without an alpha channel.
rsvg-convert -w 91 -h 83 about.svg | convert - -alpha off PNG24:about.png
