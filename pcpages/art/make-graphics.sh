#!/usr/bin/env bash
# Draws the pictures of the PC pages' support tree (VIEW/GRAPHICS) with
# ImageMagick. The results are committed under data/pcpages/support; run this
# again only to change them: bash pcpages/art/make-graphics.sh
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$root/data/pcpages/support/VIEW/GRAPHICS"
mkdir -p "$out"
IM=/usr/bin/convert
font=/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf

# Rounded corners: white outside a quarter circle, transparent inside, so the
# colour of the box behind shows through whatever that colour is.
corner() {  # name size rotation
  local n=$1 s=$2 r=$3 d=$(( $2 * 2 ))
  "$IM" -size "${s}x${s}" xc:white \
    \( -size "${d}x${d}" xc:none -fill black -draw "circle $((s)),$((s)) $((s)),0" -crop "${s}x${s}+0+0" +repage \) \
    -alpha set -compose DstOut -composite -background white -rotate "$r" +repage \
    -transparent black "GIF:$out/$n"
}
for s in 3 10; do
  case $s in 3) suf=CNR3 ;; 10) suf=CRN10 ;; esac
  corner "TL$suf.GIF" $s 0
  corner "TR$suf.GIF" $s 90
  corner "BR$suf.GIF" $s 180
  corner "BL$suf.GIF" $s 270
done

# The picture frame around the menu's first still: a dark border with a
# light inner edge.
frame=#54535C; edge=#8d8c96; dark=#2e2d33
"$IM" -size 7x5 xc:$dark -fill $frame -draw "rectangle 1,1 6,4" "GIF:$out/LTC.GIF"
"$IM" -size 514x5 xc:$frame -fill $dark -draw "line 0,0 513,0" -fill $edge -draw "line 0,4 513,4" "GIF:$out/T_FRAME.GIF"
"$IM" -size 6x5 xc:$dark -fill $frame -draw "rectangle 0,1 4,4" "GIF:$out/RTC.GIF"
"$IM" -size 7x298 xc:$frame -fill $dark -draw "line 0,0 0,297" -fill $edge -draw "line 6,0 6,297" "GIF:$out/L_FRAME.GIF"
"$IM" -size 6x298 xc:$frame -fill $dark -draw "line 5,0 5,297" -fill $edge -draw "line 0,0 0,297" "GIF:$out/R_FRAME.GIF"
"$IM" -size 7x6 xc:$dark -fill $frame -draw "rectangle 1,0 6,4" "GIF:$out/LBC.GIF"
"$IM" -size 514x6 xc:$frame -fill $dark -draw "line 0,5 513,5" -fill $edge -draw "line 0,0 513,0" "GIF:$out/B_FRAME.GIF"
"$IM" -size 6x6 xc:$dark -fill $frame -draw "rectangle 0,0 4,4" "GIF:$out/RBC.GIF"

# Previous and next: a round blue button with a white arrow.
arrow() {  # name points
  "$IM" -size 30x30 xc:none -fill '#336699' -draw "circle 14.5,14.5 14.5,1" \
    -fill white -draw "polygon $2" "GIF:$out/$1"
}
arrow PREV.GIF "19,8 9,15 19,22"
arrow NEXT.GIF "11,8 21,15 11,22"

# The arrow of each menu line, on the menu box's blue.
"$IM" -size 20x18 xc:none -fill white -draw "polygon 6,3 15,9 6,15" "GIF:$out/BUTTON.GIF"

# Banner behind the title lines.
"$IM" -size 600x80 gradient:'#336699-#7fa6cc' -rotate -90 -resize '600x80!' -quality 85 "JPEG:$out/BAN_BRWS.JPG"

# The maker's mark in the logo box: a disc and the maker's short name.
"$IM" -size 120x60 xc:none \
  -fill '#29619c' -draw "circle 30,30 30,4" -fill white -draw "circle 30,30 30,22" \
  -fill '#29619c' -draw "circle 30,30 30,27" \
  -font "$font" -pointsize 30 -fill '#29619c' -annotate +62+41 kv "GIF:$out/KV_BUG.GIF"
