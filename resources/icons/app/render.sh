#!/bin/sh
# Renders the application icon's hicolor PNG sizes from lumivex.svg (needs rsvg-convert from
# librsvg2-bin). The PNGs are committed, so building needs no SVG renderer; run this after
# changing the SVG and look at the results before committing them.
set -eu
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert --width "$size" --height "$size" lumivex.svg --output "lumivex-$size.png"
done
