#!/usr/bin/env bash
# Draws the ribbon's icon set: white symbols on rounded tiles, one colour per
# ribbon group. Drawn at 128 pixels and scaled to 32 for smooth edges.
# Needs ImageMagick and the DejaVu fonts. Run from this folder.
set -euo pipefail

FONT=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
W='stroke white fill none stroke-width 8 stroke-linecap round stroke-linejoin round'

# tile <name> <colour> <mvg drawing of the symbol>
tile() {
    convert -size 128x128 xc:none \
        -fill "$2" -draw 'roundrectangle 4,4 123,123 22,22' \
        -fill 'rgba(255,255,255,0.18)' -draw 'roundrectangle 4,4 123,62 22,22' \
        -draw "$3" -resize 32x32 "PNG32:$1.png"
}

# page <name> <colour> <label>: a sheet with a folded corner and the format's name
page() {
    convert -size 128x128 xc:none \
        -fill white -stroke '#5a6470' -strokewidth 5 \
        -draw 'path "M 24,6 L 84,6 L 110,32 L 110,122 L 24,122 Z"' \
        -fill '#d8dde3' -draw 'path "M 84,6 L 84,32 L 110,32 Z"' -stroke none \
        -fill "$2" -draw 'rectangle 8,58 120,100' \
        -font "$FONT" -pointsize 36 -fill white -gravity center \
        -annotate +0+15 "$3" -resize 32x32 "PNG32:$1.png"
}

PERSON='fill white circle 54,42 54,62 path "M 20,104 Q 20,72 54,72 Q 88,72 88,104 Z"'
PLUS='fill white circle 96,96 96,120 stroke "#2e8b57" stroke-width 8 line 96,84 96,108 line 84,96 108,96'
CLIP="$W roundrectangle 30,26 98,110 8,8 fill white rectangle 48,18 80,34"

green='#2e8b57'; blue='#2b6cb0'; red='#c0392b'; indigo='#4c51bf'; teal='#0f8a8a'
slate='#4a5568'; orange='#c05621'; purple='#805ad5'

tile 9031 "$green" "$PERSON $PLUS"
tile 9021 "$green" "$CLIP $W line 46,60 82,60 line 46,80 70,80 $PLUS"
tile 9028 "$blue" "fill white circle 32,36 32,44 circle 32,64 32,72 circle 32,92 32,100 \
    $W line 50,36 100,36 line 50,64 100,64 line 50,92 100,92"
tile 9022 "$blue" "$W roundrectangle 22,30 106,106 8,8 line 22,52 106,52 line 44,20 44,38 \
    line 84,20 84,38 stroke none fill white rectangle 38,64 54,78 rectangle 58,64 74,78 rectangle 78,64 94,78 \
    rectangle 38,84 54,98"
tile 9044 "$red" "$W stroke-width 10 path 'M 42,40 A 34,34 0 1,0 86,40' line 64,22 64,66"
PRINTER="$W rectangle 40,20 88,48 roundrectangle 18,48 110,92 8,8 \
    fill white rectangle 40,78 88,112 stroke '#4c51bf' stroke-width 5 line 50,90 78,90 line 50,101 70,101"
tile print-list "$indigo" "$PRINTER"
tile print-visits "$indigo" "$PRINTER fill '#fbd38d' stroke none circle 98,60 98,66"
FLOPPY="$W path 'M 22,22 L 92,22 L 106,36 L 106,106 L 22,106 Z' \
    fill white rectangle 40,22 84,50 rectangle 38,68 90,106"
tile save-list "$teal" "$FLOPPY stroke '#0f8a8a' stroke-width 5 line 46,80 82,80 line 46,92 82,92"
tile save-visits "$teal" "$FLOPPY stroke '#0f8a8a' stroke-width 5 line 64,74 64,100 line 51,87 77,87"
tile 9040 "$slate" "fill '#cbd5e0' circle 82,40 82,56 path 'M 56,96 Q 56,66 82,66 Q 108,66 108,96 Z' \
    fill white circle 48,46 48,64 path 'M 16,108 Q 16,76 48,76 Q 80,76 80,108 Z'"
tile 9046 "$slate" "$CLIP $W line 46,58 82,58 line 46,76 82,76 line 46,94 68,94"
tile 9045 "$orange" "$W stroke-width 10 circle 42,64 42,86 line 62,64 108,64 line 96,64 96,84 \
    line 82,64 82,80"
tile 9023 "$slate" "$W ellipse 64,34 36,12 0,360 line 28,34 28,94 line 100,34 100,94 \
    path 'M 28,64 A 36,12 0 0,0 100,64' path 'M 28,94 A 36,12 0 0,0 100,94'"
tile 9101 "$slate" "$W roundrectangle 44,16 84,46 4,4 roundrectangle 12,82 52,112 4,4 \
    roundrectangle 76,82 116,112 4,4 line 64,46 64,64 line 32,64 96,64 line 32,64 32,82 \
    line 96,64 96,82"
tile 9048 "$purple" "$W stroke-width 10 path 'M 44,46 Q 44,24 64,24 Q 86,24 86,44 Q 86,60 64,66 L 64,80' \
    fill white stroke none circle 64,102 64,110"
tile 9049 "$purple" "$W circle 64,64 64,20 ellipse 64,64 18,44 0,360 line 20,64 108,64 \
    path 'M 28,42 Q 64,52 100,42' path 'M 28,86 Q 64,76 100,86'"
tile HARDDRIVE '#718096' "$W roundrectangle 16,44 112,92 10,10 line 30,76 70,76 \
    fill '#68d391' stroke none circle 94,76 94,82"

page 9050 '#4a5568' TXT
page 9053 '#2f855a' XLS
page 9058 '#2b6cb0' CSV
page 9057 '#c53030' PDF
page 9059 '#b7791f' XML
