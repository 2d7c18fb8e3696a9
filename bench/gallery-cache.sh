#!/usr/bin/env bash
# Times filling the thumbnail cache (one DCT-scaled decode and one resample
# per photo, as the control's worker does) against vipsthumbnail making
# 75-pixel thumbnails of the same photos, and prints the ratio.
#
#   bench/gallery-cache.sh [BUILD_DIR] [COUNT] [PHOTO_FOLDER]
#
# Without a folder, COUNT (default 500) photos of 3000 x 2000 are made with
# ImageMagick first (kept in the build folder for the next run).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
count="${2:-500}"
photos="${3:-}"
demo="$build/bin/gallery-demo"
[ -x "$demo" ] || { echo "gallery-demo not built in $build" >&2; exit 1; }
command -v vipsthumbnail > /dev/null || { echo "vipsthumbnail is missing (libvips-tools)" >&2; exit 1; }

if [ -z "$photos" ]; then
  photos="$build/bench-photos-$count"
  if [ ! -f "$photos/.complete" ]; then
    mkdir -p "$photos"
    convert -seed 7 -size 3000x2000 plasma:fractal -blur 0x2 -quality 90 "$photos/base.jpg"
    for i in $(seq 1 "$count"); do
      # Each photo differs a little, so nothing is shared between files.
      convert "$photos/base.jpg" -roll "+$((i * 13))+$((i * 7))" -quality 90 "$photos/photo$(printf %04d "$i").jpg"
    done
    rm "$photos/base.jpg"
    touch "$photos/.complete"
  fi
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

ours_start=$(date +%s.%N)
"$demo" --fill-cache "$photos" "$work/cache" > "$work/ours.txt"
ours_end=$(date +%s.%N)

mkdir -p "$work/vips"
vips_start=$(date +%s.%N)
for f in "$photos"/*.jpg; do
  vipsthumbnail "$f" --size 75x75 -o "$work/vips/%s.bmp" 2> /dev/null
done
vips_end=$(date +%s.%N)

ours=$(echo "$ours_end - $ours_start" | bc -l)
vips=$(echo "$vips_end - $vips_start" | bc -l)
echo "photos:        $(ls "$photos"/*.jpg | wc -l) ($(cat "$work/ours.txt"))"
printf 'gallery cache: %.2f s\n' "$ours"
printf 'vipsthumbnail: %.2f s\n' "$vips"
printf 'ratio (ours / vipsthumbnail): %.2f\n' "$(echo "$ours / $vips" | bc -l)"
