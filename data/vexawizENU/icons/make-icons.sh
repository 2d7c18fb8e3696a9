#!/usr/bin/env bash
# Remakes the toolbar icons of the wizard (202 to 218): each is drawn here
# with ImageMagick at 64 x 64 pixels and scaled down to 16 x 16 with its
# transparency; nothing is taken from elsewhere. Every button has a normal
# and a hot (pointed-at) icon; the hot one is drawn in brighter colours.
# The output depends on ImageMagick's version, so the committed files are the
# reference; this script records how they were made.
#
#   id   button          normal/hot
#   206  Move            206 / 207
#   214  Sort by         214 / 213
#   210  Remove          210 / 209
#   212  Show Names      212 / 211
#   216  Undo            216 / 215
#   218  Up              218 / 217
#   203  Add All         203 / 202
#   204  Add Selected    204 / 205
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

# draw ID DRAW-ARGUMENTS...: a 64 x 64 transparent canvas, the arguments, 16 x 16 out.
draw() {
  local id=$1
  shift
  convert -size 64x64 xc:none "$@" -filter Lanczos -resize 16x16 -strip "PNG32:$id.png"
}

# The two colour sets: normal (quiet) and hot (bright).
for set in normal hot; do
  if [[ $set == normal ]]; then
    ink='#3d5a78' red='#a8382c' green='#3f7f3a' frame='#5b6670' sky='#8fb4d6' hill='#6f9b5a' folder='#d9b45a'
    move=206 sort=214 remove=210 names=212 undo=216 up=218 addall=203 addsel=204
  else
    ink='#1565d8' red='#e0301e' green='#21a33a' frame='#2e3a46' sky='#5aa9f0' hill='#3fae3a' folder='#f5c542'
    move=207 sort=213 remove=209 names=211 undo=215 up=217 addall=202 addsel=205
  fi
  # Move: an arrow pointing both ways.
  draw $move -fill "$ink" -draw "polygon 2,32 22,12 22,24 42,24 42,12 62,32 42,52 42,40 22,40 22,52"
  # Sort by: bars getting shorter beside a downward arrow.
  draw $sort -fill "$ink" \
    -draw "rectangle 2,6 34,16" -draw "rectangle 2,26 26,36" -draw "rectangle 2,46 18,56" \
    -draw "rectangle 44,4 54,40" -draw "polygon 36,38 62,38 49,60"
  # Remove: a cross.
  draw $remove -fill "$red" \
    -draw "polygon 10,2 32,24 54,2 62,10 40,32 62,54 54,62 32,40 10,62 2,54 24,32 2,10"
  # Show Names: a picture with a caption under it.
  draw $names -fill "$frame" -draw "rectangle 6,2 58,40" -fill "$sky" -draw "rectangle 10,6 54,36" \
    -fill "$hill" -draw "polygon 10,36 24,20 36,30 44,24 54,34 54,36" \
    -fill "$ink" -draw "rectangle 6,46 58,52" -draw "rectangle 14,56 50,62"
  # Undo: an arrow that turns back.
  draw $undo -fill none -stroke "$ink" -strokewidth 9 -draw "path 'M 22,20 L 36,20 A 19,19 0 0 1 36,58 L 26,58'" \
    -stroke none -fill "$ink" -draw "polygon 0,20 26,0 26,40"
  # Up: a folder with an arrow pointing up.
  draw $up -fill "$folder" -stroke "$frame" -strokewidth 2 -draw "polygon 2,14 22,14 28,20 62,20 62,60 2,60" \
    -stroke none -fill "$ink" -draw "polygon 32,24 50,42 39,42 39,56 25,56 25,42 14,42"
  # Add All: a pile of pictures and a plus.
  draw $addall -fill "$frame" -draw "rectangle 16,2 54,30" -fill "$sky" -draw "rectangle 19,5 51,27" \
    -fill "$frame" -draw "rectangle 8,10 46,38" -fill "$sky" -draw "rectangle 11,13 43,35" \
    -fill "$frame" -draw "rectangle 0,18 38,46" -fill "$sky" -draw "rectangle 3,21 35,43" \
    -fill "$hill" -draw "polygon 3,43 14,30 24,38 35,28 35,43" \
    -fill "$green" -draw "rectangle 44,34 54,62" -draw "rectangle 35,43 63,53"
  # Add Selected: one picture and an arrow towards the album.
  draw $addsel -fill "$frame" -draw "rectangle 0,8 38,38" -fill "$sky" -draw "rectangle 3,11 35,35" \
    -fill "$hill" -draw "polygon 3,35 14,22 24,30 35,20 35,35" \
    -fill "$green" -draw "polygon 34,48 50,48 50,38 64,52 50,64 50,56 34,56"
done
