#!/bin/sh
# Draws the Video CD menu art the engine lays its menus on, for NTSC (704 x
# 480) and PAL (704 x 576) pages, into data/graphics/:
#   HomePageBkgnd480.jpg, HomePageBkgnd576.jpg   the title (home) page
#   ThumbsPageBkgnd480.jpg, ThumbsPageBkgnd576.jpg  the thumbnail pages
#   ThumbsPageThumbMask.jpg                       an empty thumbnail cell
# The places match the engine's menu layout: the title strip at y 42 (704 x
# 250), the second picture at (280, 318), 148 x 111, and a 3 x 3 grid of
# 208 x 128 cells from (52, 38), 209 apart across and 126 down, each with a
# 130 x 98 picture at (33, 6) in the cell; PAL pages move everything 48
# lines down. Everything stays inside the television's safe area, in calm
# colours that do not bleed on a composite picture.
#
# Usage: engine/art/make-menu-art.sh [output folder]   (needs ImageMagick)
set -eu
out=${1:-$(dirname "$0")/../../data/graphics}
mkdir -p "$out"
font=Liberation-Sans-Bold
gold='#d9b45a'
ink='#f2eee2'

background() {  # width height file
  convert -size "$1x$2" gradient:'#0b1633'-'#1d3a6e' \
    \( -size "$1x$2" radial-gradient:'#ffffff30'-'#00000000' \) -compose over -composite \
    -depth 8 "$3"
}

home() {  # height offset file
  h=$1 off=$2 f=$3
  tmp=$f.png
  background 704 "$h" "$tmp"
  top=$((38 + off)) bottom=$((296 + off))
  px=276 py=$((314 + off))
  label_y=$((380 + off))
  convert "$tmp" \
    -fill none -stroke "$gold" -strokewidth 2 \
    -draw "line 36,$top 668,$top" -draw "line 36,$bottom 668,$bottom" \
    -fill '#00000060' -stroke "$gold" -strokewidth 3 \
    -draw "roundrectangle $px,$py $((px + 156)),$((py + 119)) 6,6" \
    -stroke none -fill "$gold" \
    -draw "circle 78,$((label_y - 8)) 78,$((label_y + 10))" \
    -draw "circle 478,$((label_y - 8)) 478,$((label_y + 10))" \
    -font "$font" -pointsize 22 -fill '#0b1633' \
    -draw "text 71,$((label_y)) '1'" -draw "text 471,$((label_y)) '2'" \
    -fill "$ink" -pointsize 26 \
    -draw "text 104,$((label_y + 1)) 'Slide show'" \
    -draw "text 504,$((label_y + 1)) 'Pictures'" \
    -quality 92 -sampling-factor 2x1 "$f"
  rm -f "$tmp"
}

thumbs() {  # height offset file
  h=$1 off=$2 f=$3
  tmp=$f.png
  background 704 "$h" "$tmp"
  set --
  n=1
  for r in 0 1 2; do
    for c in 0 1 2; do
      x=$((52 + c * 209)) y=$((38 + off + r * 126))
      set -- "$@" -fill '#ffffff18' -stroke '#ffffff40' -strokewidth 1 \
        -draw "roundrectangle $((x + 2)),$((y + 2)) $((x + 205)),$((y + 125)) 8,8" \
        -fill '#00000070' -stroke "$gold" -strokewidth 2 \
        -draw "rectangle $((x + 30)),$((y + 3)) $((x + 166)),$((y + 107))" \
        -stroke none -fill "$gold" -font "$font" -pointsize 20 \
        -draw "text $((x + 10)),$((y + 62)) '$n'"
      n=$((n + 1))
    done
  done
  hint_y=$((446 + off))
  convert "$tmp" "$@" \
    -stroke none -fill "$ink" -font "$font" -pointsize 16 \
    -draw "text 60,$hint_y '< PREV'" \
    -draw "text 580,$hint_y 'NEXT >'" \
    -fill '#c8c8c8' -pointsize 14 \
    -draw "text 150,$hint_y 'number: picture'" \
    -draw "text 440,$hint_y 'RETURN: home'" \
    -quality 92 -sampling-factor 2x1 "$f"
  rm -f "$tmp"
}

home 480 0 "$out/HomePageBkgnd480.jpg"
home 576 48 "$out/HomePageBkgnd576.jpg"
thumbs 480 0 "$out/ThumbsPageBkgnd480.jpg"
thumbs 576 48 "$out/ThumbsPageBkgnd576.jpg"

# An empty cell: a quiet panel over the cell's place.
convert -size 208x128 gradient:'#14254a'-'#1a3263' \
  -fill '#00000040' -stroke '#ffffff30' -strokewidth 1 -draw "roundrectangle 2,2 205,125 8,8" \
  -quality 92 "$out/ThumbsPageThumbMask.jpg"
