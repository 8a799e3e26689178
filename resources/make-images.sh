#!/bin/sh
# Draws the program's small pictures with ImageMagick. Each is drawn at four times
# its size and scaled down, which gives clean anti-aliased edges at 16 pixels.
# Run from resources/ after changing a drawing; the PNGs are kept in the repository.
set -eu
cd "$(dirname "$0")"

draw() { # out size drawing-args...
    out=$1; size=$2; shift 2
    big=$((size * 4))
    convert -size ${big}x${big} xc:none "$@" -filter Lanczos -resize ${size}x${size} \
        -depth 8 -define png:color-type=6 -strip "$out"
}

# State images of the shortcut test.
draw images/state-failed.png 16 \
    -stroke '#d00000' -strokewidth 11 \
    -draw 'stroke-linecap round line 14,14 50,50 line 50,14 14,50'
draw images/state-passed.png 16 \
    -fill none -stroke '#006400' -strokewidth 10 \
    -draw 'stroke-linecap round stroke-linejoin round polyline 10,34 25,50 54,14'
draw images/state-internet.png 16 \
    -fill '#3a7bd5' -stroke '#1c4f9c' -strokewidth 3 -draw 'circle 30,32 30,5' \
    -fill none -stroke '#bcd7ff' -strokewidth 3 \
    -draw 'ellipse 30,32 11,26 0,360' -draw 'line 4,32 56,32' \
    -draw 'line 8,19 52,19' -draw 'line 8,45 52,45' \
    -fill '#ffd800' -stroke '#6b5200' -strokewidth 3 -font DejaVu-Sans-Bold -pointsize 56 \
    -draw "text 26,62 '?'"

# Fallback icons, for a desktop without an icon theme.
for s in 16 32; do
    draw icons/folder-$s.png $s \
        -fill '#c4953a' -stroke '#8a6420' -strokewidth 2 -draw 'roundrectangle 4,10 28,22 3,3' \
        -fill '#f0c25e' -draw 'roundrectangle 4,16 60,56 4,4'
    draw icons/file-$s.png $s \
        -fill white -stroke '#6e6e6e' -strokewidth 3 -draw 'polygon 12,4 40,4 52,16 52,60 12,60 12,4' \
        -fill '#d8d8d8' -draw 'polygon 40,4 40,16 52,16' \
        -stroke '#a0a0a0' -strokewidth 2 -draw 'line 20,28 44,28' -draw 'line 20,36 44,36' -draw 'line 20,44 38,44'
    draw icons/link-overlay-$s.png $s \
        -fill white -stroke '#404040' -strokewidth 2 -draw 'rectangle 1,35 28,62' \
        -fill none -stroke '#0050c8' -strokewidth 5 \
        -draw 'stroke-linecap round bezier 7,57 8,45 14,43 22,42' \
        -fill '#0050c8' -stroke none -draw 'polygon 18,35 27,42 18,49'
done

# Drag cursors: an arrow with one document (single copy) or a stack (multiple copy),
# each with a plus sign. The hot spot is the arrow's tip, at 0,0.
arrow="polygon 0,0 0,64 16,50 26,74 36,70 26,46 46,46"
convert -size 128x128 xc:none \
    -fill white -stroke black -strokewidth 4 -draw "$arrow" \
    -fill white -stroke '#505050' -strokewidth 4 -draw 'rectangle 56,56 100,112' \
    -fill '#1060d0' -stroke none -draw 'rectangle 86,92 122,104' -draw 'rectangle 98,80 110,116' \
    -filter Lanczos -resize 32x32 -depth 8 -define png:color-type=6 -strip cursors/scopy.png
convert -size 128x128 xc:none \
    -fill white -stroke black -strokewidth 4 -draw "$arrow" \
    -fill white -stroke '#505050' -strokewidth 4 -draw 'rectangle 64,48 104,100' \
    -draw 'rectangle 56,56 96,108' -draw 'rectangle 48,64 88,116' \
    -fill '#1060d0' -stroke none -draw 'rectangle 86,92 122,104' -draw 'rectangle 98,80 110,116' \
    -filter Lanczos -resize 32x32 -depth 8 -define png:color-type=6 -strip cursors/mcopy.png
