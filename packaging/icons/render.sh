#!/usr/bin/env bash
# Renders the PNG icons from kestrune.svg (rsvg-convert from librsvg2-bin).
# Run after changing the drawing and commit the PNGs with it.
set -euo pipefail
cd "$(dirname "$0")"
for size in 48 128 256; do
  rsvg-convert -w "$size" -h "$size" kestrune.svg -o "kestrune-$size.png"
done
