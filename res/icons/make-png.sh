#!/bin/sh
# Regenerates the committed PNG icons from wendrel.svg (needs rsvg-convert,
# Debian package librsvg2-bin). The .ico for Windows is built from the PNGs.
set -eu
cd "$(dirname "$0")"
for n in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$n" -h "$n" -o "wendrel-$n.png" wendrel.svg
done
python3 make-ico.py wendrel.ico 16 24 32 48 64 128 256
