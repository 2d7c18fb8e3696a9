#!/usr/bin/env bash
# Times writing a 500-page PDF with one 1024-pixel JPEG a page (pdf-pages,
# through the PDF writer) against copying the same JPEG bytes into one file,
# and prints the ratio. Reading the pictures is the writer's main cost, so
# the ratio should stay near 1.
#
#   bench/pdfwriter/run-vs-copy.sh [BUILD_DIR] [PAGES]
#
# BUILD_DIR must be configured with -DVEXA_BUILD_BENCH=ON (a release build
# is the fair one).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${1:-$root/build}"
pages="${2:-500}"
tool="$build/bin/pdf-pages"
[ -x "$tool" ] || { echo "no $tool: configure with -DVEXA_BUILD_BENCH=ON and build pdf-pages" >&2; exit 1; }
command -v convert >/dev/null || { echo "ImageMagick missing" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Distinct 1024 x 768 photo-like pictures (noise changes every file's bytes).
convert -size 1024x768 -seed 3 plasma:fractal -blur 0x1 -quality 90 "$work/base.ppm"
for i in $(seq 1 "$pages"); do
  convert "$work/base.ppm" -seed "$i" -attenuate 0.2 +noise Gaussian -quality 90 "$work/p$i.jpg" &
  if (( i % 8 == 0 )); then wait; fi
done
wait
files=()
for i in $(seq 1 "$pages"); do files+=("$work/p$i.jpg"); done
cat "${files[@]}" > /dev/null  # both runs start from the page cache

now() { date +%s.%N; }
t0=$(now); cat "${files[@]}" > "$work/copy.bin"; t1=$(now)
t2=$(now); "$tool" "$work/out.pdf" "${files[@]}"; t3=$(now)
copy=$(echo "$t1 - $t0" | bc -l)
write=$(echo "$t3 - $t2" | bc -l)
printf 'pages %d, JPEG bytes %d, PDF bytes %d\n' "$pages" "$(stat -c %s "$work/copy.bin")" "$(stat -c %s "$work/out.pdf")"
printf 'copy  %.3f s\nwrite %.3f s\nratio %.2f\n' "$copy" "$write" "$(echo "$write / $copy" | bc -l)"
