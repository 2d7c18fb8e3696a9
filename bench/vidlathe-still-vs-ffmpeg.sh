#!/usr/bin/env bash
# Times `vidlathe-cli still 7` (a 704x480 still with its 352x240 companion)
# against ffmpeg making the same two MPEG-1 intra pictures, one thread each,
# and compares luma PSNR at equal size per picture.
#
#   bench/vidlathe-still-vs-ffmpeg.sh [BUILD_DIR] [PHOTO_DIR]
#
# BUILD_DIR defaults to build (a release build is the fair one); without a
# PHOTO_DIR (of .jpg files), six large photo-like JPEG pictures are made.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
cli="$build/bin/vidlathe-cli"
[ -x "$cli" ] || { echo "no $cli: build first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg missing" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

photos="${2:-}"
if [ -z "$photos" ]; then
  photos="$work/photos"
  mkdir -p "$photos"
  i=0
  for src in "testsrc2=size=3000x2000" "mandelbrot=size=2400x1800" "cellauto=size=3000x2000:rule=110" \
             "life=size=2000x3000:mold=10:ratio=0.3" "gradients=size=3200x2400:n=5" "smptehdbars=size=3000x2000"; do
    i=$((i + 1))
    # Blur and grain make the synthetic pictures behave more like photos.
    ffmpeg -v error -y -f lavfi -i "$src" -frames:v 1 -vf "gblur=sigma=2,noise=alls=8:allf=t" \
      -pix_fmt yuvj420p -q:v 2 "$photos/photo$i.jpg"
  done
fi

now() { date +%s.%N; }
size_of() { stat -c %s "$1"; }
# Luma PSNR of a coded picture against a reference picture of its size.
psnr() {
  ffmpeg -v info -i "$1" -i "$2" -lavfi "[0:v]format=yuv420p[a];[1:v]format=yuv420p[b];[a][b]psnr" \
    -f null - 2>&1 | sed -n 's/.*PSNR y:\([0-9.inf]*\).*/\1/p' | head -1
}
fit() { echo "scale=$1:$2:force_original_aspect_ratio=decrease,pad=$1:$2:(ow-iw)/2:(oh-ih)/2"; }
# ffmpeg's encode of one picture at quantiser q, scaled to w x h.
ff_encode() {  # in w h q out
  ffmpeg -v error -y -threads 1 -i "$1" -vf "$(fit "$2" "$3")" \
    -c:v mpeg1video -threads 1 -qscale:v "$4" -frames:v 1 -f mpeg1video "$5"
}

# Speed: each tool from the large photo, with its own scaling; ours makes
# both pictures in one call, ffmpeg one picture per call.
ours_time=0; ff_time=0
for photo in "$photos"/*.jpg; do
  t0=$(now)
  "$cli" still 7 "$work/ours.mpg" --quant 8 --ms 1000 "$photo"
  t1=$(now)
  ff_encode "$photo" 704 480 4 "$work/ff704.m1v"
  ff_encode "$photo" 352 240 4 "$work/ff352.m1v"
  t2=$(now)
  ours_time=$(python3 -c "print($ours_time + $t1 - $t0)")
  ff_time=$(python3 -c "print($ff_time + $t2 - $t1)")
done

# Quality: both from the same picture already scaled to 704x480 (ffmpeg's
# 352x240 from the same picture scaled by ffmpeg), ffmpeg's quantiser chosen
# so its picture is as large as ours.
printf '%-12s %8s %8s %8s %9s %9s\n' photo size ours_kB ff_kB ours_dB ff_dB
for photo in "$photos"/*.jpg; do
  name="$(basename "$photo" .jpg)"
  ffmpeg -v error -y -i "$photo" -vf "$(fit 704 480)" -frames:v 1 -pix_fmt bgr24 "$work/ref-704.bmp"
  ffmpeg -v error -y -i "$photo" -vf "$(fit 352 240)" -frames:v 1 -pix_fmt bgr24 "$work/ref-352.bmp"
  "$cli" still 7 "$work/ours.mpg" --quant 8 --ms 1000 "$work/ref-704.bmp"
  for w in 704 352; do
    h=$((w * 480 / 704))
    stream=$([ "$w" = 704 ] && echo 1 || echo 0)
    ffmpeg -v error -y -i "$work/ours.mpg" -map "0:v:$stream" -c copy -f mpeg1video "$work/ours-$w.m1v"
    target=$(size_of "$work/ours-$w.m1v")
    best=2; bestdiff=999999999
    for q in 1 2 3 4 5 6 7 8 10 12 14 16 20 24 31; do
      ff_encode "$work/ref-$w.bmp" "$w" "$h" "$q" "$work/ff.m1v"
      d=$(( $(size_of "$work/ff.m1v") - target )); d=${d#-}
      if [ "$d" -lt "$bestdiff" ]; then best=$q; bestdiff=$d; cp "$work/ff.m1v" "$work/ff-$w.m1v"; fi
    done
    printf '%-12s %8s %8d %8d %9s %9s\n' "$name" "${w}x$h" $((target / 1024)) $(( $(size_of "$work/ff-$w.m1v") / 1024 )) \
      "$(psnr "$work/ours-$w.m1v" "$work/ref-$w.bmp")" "$(psnr "$work/ff-$w.m1v" "$work/ref-$w.bmp")"
  done
done
python3 -c "print(f'time from the large photos: vidlathe-cli {$ours_time:.3f} s, ffmpeg {$ff_time:.3f} s, ffmpeg/vidlathe-cli {$ff_time / $ours_time:.2f}')"
