#!/usr/bin/env bash
# Draws the program's pictures with ImageMagick; the PNG files are committed,
# this script only remakes them.
set -euo pipefail
cd "$(dirname "$0")"

# Window icon: a small chart with a red and a blue profile line.
convert -size 32x32 xc:none -fill white -stroke '#404040' -strokewidth 1 \
    -draw 'rectangle 1,1 30,30' \
    -stroke '#a0a0a0' -draw 'line 4,8 27,8' -draw 'line 4,15 27,15' -draw 'line 4,22 27,22' \
    -stroke black -strokewidth 2 -draw 'line 4,4 4,27' -draw 'line 4,27 28,27' \
    -fill none -stroke '#ff0000' -strokewidth 2 -draw 'polyline 6,20 11,9 16,14 21,7 26,11' \
    -stroke '#0000ff' -draw 'polyline 6,23 11,18 16,21 21,15 26,19' \
    -define png:color-type=6 icon32.png

# Open: a yellow folder.
convert -size 16x16 xc:none -stroke '#806000' -strokewidth 1 -fill '#f0c040' \
    -draw 'polygon 1,3 6,3 7,5 14,5 14,13 1,13' \
    -fill '#ffe080' -draw 'polygon 3,7 15,7 13,13 1,13' \
    -define png:color-type=6 open16.png

# Save: a blue diskette.
convert -size 16x16 xc:none -stroke '#102060' -strokewidth 1 -fill '#3050c0' \
    -draw 'polygon 1,1 13,1 14,2 14,14 1,14' \
    -stroke none -fill white -draw 'rectangle 4,2 11,6' \
    -fill '#c0c0c0' -draw 'rectangle 4,9 11,14' -fill '#3050c0' -draw 'rectangle 9,3 10,5' \
    -define png:color-type=6 save16.png
