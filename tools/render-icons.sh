#!/bin/bash
# Renders the application icon's PNG sizes and the icon file built into the
# program from desktop/icons/quenvar.svg. Run after editing the drawing and
# commit the results (needs librsvg2-bin and imagemagick).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
svg=$here/desktop/icons/quenvar.svg
out=$here/desktop/icons/png
mkdir -p "$out"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w $size -h $size "$svg" -o "$out/quenvar-$size.png"
done
convert "$out"/quenvar-{16,32,48,64,256}.png "$here/ui/ico/Quenvar.ico"
