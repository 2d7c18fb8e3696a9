#!/usr/bin/env bash
# Frames per second of `vidlathe-cli motion` (352x240, 29.97 pictures/s)
# against ffmpeg's mpeg1video at 1150 kbit/s, one thread each, on the same
# stills shown for the same time; with the luma PSNR of both against the
# stills and the bit rate each reached.
#
#   bench/vidlathe-motion-vs-ffmpeg.sh [BUILD_DIR] [SECONDS_PER_STILL]
#
# BUILD_DIR defaults to build (a release build is the fair one). ffmpeg is
# given the pictures already as raw 4:2:0 frames, so its time is coding alone;
# ours includes reading the .bmp stills and converting them.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
secs="${2:-2}"
cli="$build/bin/vidlathe-cli"
[ -x "$cli" ] || { echo "no $cli: build first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg missing" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

stills=()
i=0
for src in "testsrc2=size=352x240" "mandelbrot=size=352x240" "cellauto=size=352x240:rule=110" \
           "life=size=352x240:mold=10:ratio=0.3" "gradients=size=352x240:n=5" "smptehdbars=size=352x240"; do
  i=$((i + 1))
  # Blur and grain make the synthetic pictures behave more like photos.
  ffmpeg -v error -y -f lavfi -i "$src" -frames:v 1 -vf "gblur=sigma=1,noise=alls=6:allf=t" \
    -pix_fmt bgr24 "$work/s$i.bmp"
  stills+=("$work/s$i.bmp")
done
ms=$((secs * 1000))
# The source as ffmpeg sees it: each still repeated for its display time.
for s in "${stills[@]}"; do
  ffmpeg -v error -y -loop 1 -framerate 30000/1001 -t "$secs" -i "$s" -pix_fmt yuv420p -f rawvideo -
done > "$work/source.yuv"
frames=$(( $(stat -c %s "$work/source.yuv") / (352 * 240 * 3 / 2) ))

now() { date +%s.%N; }
psnr() {  # coded file against the raw source
  ffmpeg -v info -i "$1" -f rawvideo -pix_fmt yuv420p -s 352x240 -r 30000/1001 -i "$work/source.yuv" \
    -lavfi "[0:v]format=yuv420p[a];[1:v][a]psnr" -f null - 2>&1 | sed -n 's/.*PSNR y:\([0-9.inf]*\).*/\1/p' | head -1
}
rate() {  # bits per second of the video elementary stream
  ffprobe -v error -select_streams v -show_entries packet=size -of csv=p=0 "$1" |
    awk -v f="$frames" '{s += $1} END {printf "%.0f", s * 8 / (f * 1001 / 30000)}'
}

for mode in 7 5; do
  t0=$(now)
  "$cli" motion "$mode" "$work/ours$mode.mpg" --ms "$ms" "${stills[@]}"
  t1=$(now)
  fps=$(python3 -c "print(round($frames / ($t1 - $t0)))")
  echo "vidlathe mode $mode: $frames frames, $fps frames/s, $(rate "$work/ours$mode.mpg") bit/s, PSNR y $(psnr "$work/ours$mode.mpg")"
done
t0=$(now)
ffmpeg -v error -y -threads 1 -f rawvideo -pix_fmt yuv420p -s 352x240 -r 30000/1001 -i "$work/source.yuv" \
  -c:v mpeg1video -threads 1 -b:v 1150k -minrate 1150k -maxrate 1150k -bufsize 327680 -f mpeg "$work/ff.mpg" 2>/dev/null
t1=$(now)
fps=$(python3 -c "print(round($frames / ($t1 - $t0)))")
echo "ffmpeg mpeg1video: $frames frames, $fps frames/s, $(rate "$work/ff.mpg") bit/s, PSNR y $(psnr "$work/ff.mpg")"
