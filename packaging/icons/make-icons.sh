#!/usr/bin/env bash
# Renders the application icon's PNG sizes for the hicolor theme from the SVG.
# Needs rsvg-convert (librsvg2-bin). Run from this folder; commit the results.
set -euo pipefail

id=example.medlantis.Medlantis
for size in 16 32 48 64 128 256; do
    mkdir -p "${size}x${size}"
    rsvg-convert -w "$size" -h "$size" "$id.svg" -o "${size}x${size}/$id.png"
done
