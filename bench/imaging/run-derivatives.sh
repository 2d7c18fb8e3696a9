#!/usr/bin/env bash
# Still derivatives of a folder of large camera JPEGs: ours against
# ImageMagick convert and vipsthumbnail making the same three files (album at
# full size, web in a 640 box, thumbnail in a 160 box), with the bare JPEG
# decode (djpeg) as the floor. Prints per-photo times and ratios.
#
#   bench/imaging/run-derivatives.sh FOLDER [BUILD_DIR]
#
# BUILD_DIR is a tree configured with -DVEXA_BUILD_BENCH=ON (default
# build-bench, configured and built here when missing).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
folder="${1:?usage: $0 FOLDER [BUILD_DIR]}"
build="${2:-$root/build-bench}"
if [[ ! -x "$build/bin/imaging-derivatives-bench" ]]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEXA_BUILD_TESTS=OFF -DVEXA_BUILD_BENCH=ON >/dev/null
  cmake --build "$build" -j4 --target imaging-derivatives-bench VEXAImg >/dev/null
fi
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

now() { date +%s%N; }
# Best of three runs of a command, in milliseconds; "-" when it fails.
best_ms() {
  local best=0 t0 t1 ms
  for _ in 1 2 3; do
    t0=$(now)
    "$@" >/dev/null 2>&1 || { echo -; return; }
    t1=$(now)
    ms=$(( (t1 - t0) / 1000000 ))
    if (( best == 0 || ms < best )); then best=$ms; fi
  done
  echo "$best"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a != "-" && b != "-" && b > 0) printf "%.2f", a / b; else print "-" }'; }

echo "== ours: one decode, then album, thumbnail and web stills =="
ours_table="$("$build/bin/imaging-derivatives-bench" "$out" "$folder")"
echo "$ours_table"

echo
echo "== against the others (ms, best of three; ours = load and all three stills) =="
printf '%-28s %7s %7s %8s %9s %11s %13s %10s\n' photo djpeg ours convert vipsthumb ours/djpeg convert/ours vips/ours
shopt -s nullglob nocaseglob
for f in "$folder"/*.jpg "$folder"/*.jpeg; do
  name="$(basename "$f")"
  ours=$(awk -v n="$name" '$1 == n && $3 != "unreadable" { printf "%d", $4 }' <<<"$ours_table")
  [[ -z "$ours" ]] && ours=-
  floor=$(best_ms djpeg -outfile /dev/null "$f")
  im=-
  if [[ -x /usr/bin/convert ]]; then
    im=$(best_ms /usr/bin/convert "$f" -quality 90 -write "$out/album-im.jpg" \
      \( +clone -resize 640x640 -write "$out/web-im.jpg" +delete \) \
      -resize 160x160 "$out/thumb-im.jpg")
  fi
  vips=-
  if command -v vipsthumbnail >/dev/null && command -v vips >/dev/null; then
    vips=$(best_ms bash -c 'vips copy "$1" "$2/album-v.jpg[Q=90]" &&
      vipsthumbnail "$1" -s 640 -o "$2/web-v.jpg[Q=90]" &&
      vipsthumbnail "$1" -s 160 -o "$2/thumb-v.jpg[Q=90]"' _ "$f" "$out")
  fi
  printf '%-28s %7s %7s %8s %9s %11s %13s %10s\n' "$name" "$floor" "$ours" "$im" "$vips" \
    "$(ratio "$ours" "$floor")" "$(ratio "$im" "$ours")" "$(ratio "$vips" "$ours")"
done
