#!/bin/sh
# Renders the icon's PNG sizes from packaging/icons/quillora.svg (needs rsvg-convert, Debian
# package librsvg2-bin). The PNGs are kept in the repository so that building needs no renderer.
set -e
cd "$(dirname "$0")/../packaging/icons"
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" quillora.svg -o "quillora-$size.png"
done
