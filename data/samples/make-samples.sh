#!/usr/bin/env bash
# Remakes the sample photos (photos/) and the sample music (music/theme.mp3)
# of this folder. Everything here was drawn and played by this script with
# ImageMagick, sox and ffmpeg (libmp3lame); nothing is taken from elsewhere.
# The output depends on the tools' versions, so the committed files are the
# reference; this script records how they were made.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
W=1600; H=1200
out=photos; mkdir -p $out
# arrival: a house on green hills under a blue sky, a road leading to it
convert -size ${W}x${H} gradient:'#5d9be0-#cfe6f7' \
  \( -size ${W}x500 -seed 11 plasma:fractal -blur 0x3 -colorspace gray -auto-level +level-colors '#3f8f3a','#77b55a' \) -geometry +0+700 -composite \
  -fill '#4c8c3c' -draw "ellipse 300,760 520,160 180,360" -draw "ellipse 1250,800 620,200 180,360" \
  -fill '#9a8a78' -draw "polygon 700,1200 900,1200 820,760 790,760" \
  -fill '#e9e1cf' -draw "rectangle 700,560 960,760" -fill '#a3342c' -draw "polygon 680,560 980,560 830,430" \
  -fill '#5b3a22' -draw "rectangle 800,660 850,760" -fill '#8fc7ee' -draw "rectangle 720,600 780,650" -draw "rectangle 880,600 940,650" \
  -fill white -draw "ellipse 300,200 120,40 0,360" -draw "ellipse 380,180 90,35 0,360" -draw "ellipse 1200,260 150,45 0,360" \
  -attenuate 0.12 +noise Gaussian -quality 85 "$out/arrival.jpg"
# the pier: planks running out over the water
convert -size ${W}x${H} gradient:'#87b6e8-#e8f1f8' \
  \( -size ${W}x640 -seed 23 plasma:fractal -blur 0x2 -colorspace gray -auto-level +level-colors '#1f5f8b','#3d86b5' \) -geometry +0+560 -composite \
  -fill '#7a5532' -draw "polygon 620,1200 1000,1200 860,600 760,600" \
  -stroke '#4e341c' -strokewidth 3 \
  -draw "line 700,1100 920,1100" -draw "line 720,1000 905,1000" -draw "line 737,900 890,900" -draw "line 750,800 878,800" -draw "line 760,700 868,700" \
  -stroke none -fill '#3b2814' -draw "rectangle 640,1120 660,1200" -draw "rectangle 960,1120 980,1200" -draw "rectangle 752,640 762,700" -draw "rectangle 858,640 868,700" \
  -fill '#2c4a2a' -draw "polygon 0,560 300,470 600,540 900,480 1250,530 1600,470 1600,560" \
  -attenuate 0.12 +noise Gaussian -quality 85 "$out/the pier.jpg"
# sunset: the sun going down over the lake
convert -size ${W}x${H} radial-gradient:'#ffd27a-#b8402e' -crop ${W}x${H}+0+0 +repage \
  \( -size ${W}x520 gradient:'#6b2f3a-#1c1030' \) -geometry +0+680 -composite \
  -fill '#ffe9a8' -draw "circle 800,640 800,540" \
  -fill '#1c1030' -draw "rectangle 0,680 1600,1200" \
  -fill '#f2b36b' -draw "rectangle 700,720 900,730" -draw "rectangle 730,760 870,768" -draw "rectangle 760,800 840,806" -draw "rectangle 780,840 820,844" \
  -fill '#140a22' -draw "polygon 0,680 250,600 480,660 700,620 700,680" -draw "polygon 1000,680 1200,610 1400,650 1600,590 1600,680" \
  -attenuate 0.12 +noise Gaussian -quality 85 "$out/sunset.jpg"
# mountains: snowy peaks over a valley
convert -size ${W}x${H} gradient:'#3a6fb5-#bfd9f2' \
  -fill '#6d7582' -draw "polygon 0,900 350,380 620,760 900,300 1250,820 1600,420 1600,900" \
  -fill white -draw "polygon 300,460 350,380 400,450 370,440 340,470" -draw "polygon 840,390 900,300 960,385 925,370 890,400" -draw "polygon 1550,490 1600,420 1600,500" \
  \( -size ${W}x400 -seed 37 plasma:fractal -blur 0x2 -colorspace gray -auto-level +level-colors '#2f6b2a','#5f9f3f' \) -geometry +0+800 -composite \
  -attenuate 0.12 +noise Gaussian -quality 85 "$out/mountains.jpg"
# boats: sailing boats on a bright sea
convert -size ${W}x${H} gradient:'#9fd0ff-#ffffff' \
  \( -size ${W}x700 -seed 41 plasma:fractal -blur 0x2 -colorspace gray -auto-level +level-colors '#1670a8','#48a2d6' \) -geometry +0+500 -composite \
  -fill '#f4f4f0' -draw "polygon 400,780 400,420 600,760" -draw "polygon 1000,720 1000,460 1150,700" -draw "polygon 1300,640 1300,500 1380,630" \
  -fill '#c0392b' -draw "polygon 330,790 640,790 600,840 370,840" -fill '#2c3e50' -draw "polygon 960,730 1180,730 1150,770 990,770" -draw "polygon 1280,645 1395,645 1380,668 1292,668" \
  -attenuate 0.12 +noise Gaussian -quality 85 "$out/boats.jpg"
# lighthouse: an upright picture
convert -size 1200x1600 gradient:'#6fa8dc-#eaf4fb' \
  \( -size 1200x500 -seed 53 plasma:fractal -blur 0x2 -colorspace gray -auto-level +level-colors '#22557a','#3f7fb0' \) -geometry +0+1100 -composite \
  -fill '#5a5a52' -draw "polygon 300,1100 900,1100 820,1040 380,1040" \
  -fill '#f5f5f0' -draw "polygon 500,1040 700,1040 660,420 540,420" \
  -fill '#c0392b' -draw "polygon 518,760 682,760 676,660 524,660" -draw "polygon 533,560 667,560 663,480 537,480" \
  -fill '#333333' -draw "rectangle 530,330 670,420" -fill '#ffe680' -draw "rectangle 550,350 650,410" -fill '#333333' -draw "polygon 520,330 680,330 600,270" \
  -attenuate 0.12 +noise Gaussian -quality 85 "$out/lighthouse.jpg"

mkdir -p music
work="$(mktemp -d)"; trap 'rm -rf "$work"' EXIT
# A melody of plucked notes over a soft chord pad, 24 seconds at 100 beats a minute.
melody="E4 G4 C5 G4 A4 C5 E5 D5 C5 A4 G4 E4 F4 A4 C5 A4 G4 B4 D5 B4 C5 G4 E4 G4
E4 G4 C5 G4 A4 C5 E5 D5 C5 A4 G4 E4 F4 A4 C5 F5 E5 D5 B4 G4 C5 C5 C5 C5"
i=0; files=()
for n in $melody; do
  f="$work/n$(printf %03d $i).wav"
  sox -n -r 44100 -c 2 -b 16 "$f" synth 0.5 pluck "$n" fade 0 0.5 0.2 vol 0.5
  files+=("$f"); i=$((i+1))
done
sox "${files[@]}" "$work/melody.wav"
chords="C3:E3:G3 A2:C3:E3 F2:A2:C3 G2:B2:D3 C3:E3:G3 A2:C3:E3 F2:A2:C3 G2:B2:D3 C3:E3:G3 C3:E3:G3 F2:A2:C3 C3:E3:G3"
i=0; files=()
for c in $chords; do
  IFS=: read -r a b d <<<"$c"
  f="$work/c$(printf %03d $i).wav"
  sox -n -r 44100 -c 2 -b 16 "$f" synth 2 sine "$a" sine "$b" sine "$d" fade 0.3 2 0.6 vol 0.25
  files+=("$f"); i=$((i+1))
done
sox "${files[@]}" "$work/pad.wav"
sox -m "$work/melody.wav" "$work/pad.wav" "$work/mix.wav" reverb 30 fade 0 24 1.5 norm -3
ffmpeg -hide_banner -loglevel error -y -i "$work/mix.wav" -codec:a libmp3lame -b:a 112k -ar 44100 \
  -metadata title="Theme" -metadata artist="vexa sample" "music/theme.mp3"
