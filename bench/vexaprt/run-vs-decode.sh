#!/usr/bin/env bash
# Times vexaprt-make (the three PDFs of a disc, with the print copies made
# from one reduced decode of each photo) against decoding each photo once at
# full size with djpeg, on the same folder of photos, and prints the ratio.
# The target is at most 1.5.
#
#   bench/vexaprt/run-vs-decode.sh FOLDER [BUILD_DIR]
#
# FOLDER holds the photos (.jpg). BUILD_DIR defaults to build-bench,
# configured (Release) and built here when missing.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
folder="${1:?usage: $0 FOLDER [BUILD_DIR]}"
build="${2:-$root/build-bench}"
if [[ ! -x "$build/bin/vexaprt-make" ]]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEXA_BUILD_TESTS=OFF -DVEXA_BUILD_BENCH=ON >/dev/null
  cmake --build "$build" -j4 --target vexaprt-make vexaprt kvprint >/dev/null
fi
command -v djpeg >/dev/null || { echo "djpeg missing (libjpeg-turbo-progs)" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mapfile -t photos < <(find "$folder" -maxdepth 1 -iname '*.jpg' | sort)
(( ${#photos[@]} )) || { echo "no .jpg files in $folder" >&2; exit 1; }
cat "${photos[@]}" > /dev/null  # both runs start from the page cache

now() { date +%s%N; }
t0=$(now)
for p in "${photos[@]}"; do djpeg -outfile /dev/null "$p"; done
t1=$(now)
mkdir -p "$work/tmp"
"$build/bin/vexaprt-make" "$work/out" --tmp "$work/tmp" --title1 "Bench" "${photos[@]}"
t2=$(now)
decode=$(( (t1 - t0) / 1000000 ))
make=$(( (t2 - t1) / 1000000 ))
printf 'photos %d\ndecode once (djpeg)  %d ms\nvexaprt-make         %d ms\n' "${#photos[@]}" "$decode" "$make"
awk -v a="$make" -v b="$decode" 'BEGIN { printf "ratio %.2f (target at most 1.5)\n", a / (b > 0 ? b : 1) }'
