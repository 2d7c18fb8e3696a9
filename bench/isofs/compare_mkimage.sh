#!/usr/bin/env bash
# Times isofs-mkimage against xorriso -as mkisofs and genisoimage on the same
# trees and prints wall time and peak memory of each, and our ratios.
#
#   bench/isofs/compare_mkimage.sh [path/to/isofs-mkimage]
#
# Trees: one folder of N empty files whose long names collide in 8.3 form
# (N = 2500, 5000, 10000, 20000, to show growth per folder), and 100 folders
# of 500 files. Build the tool without sanitizers for meaningful numbers.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
tool="${1:-$root/build/bin/isofs-mkimage}"
[[ -x "$tool" ]] || { echo "no isofs-mkimage at $tool (build first, or pass its path)" >&2; exit 2; }
for p in xorriso genisoimage /usr/bin/time; do
  command -v "$p" >/dev/null || { echo "missing $p" >&2; exit 2; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/isofs-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT

one_folder() {  # N
  local dir="$work/one-$1"
  mkdir -p "$dir/PHOTOS"
  (cd "$dir/PHOTOS" && seq 1 "$1" | sed 's/^/A very long colliding holiday picture name number /; s/$/.jpeg/' |
     xargs -d '\n' touch)
  echo "$dir"
}

many_folders() {
  local dir="$work/many"
  for f in $(seq -w 1 100); do
    mkdir -p "$dir/folder $f"
    (cd "$dir/folder $f" && seq 1 500 | sed 's/^/picture /; s/$/.jpg/' | xargs -d '\n' touch)
  done
  echo "$dir"
}

# Runs a command, prints "seconds peak-KiB".
measure() {
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; echo "nan nan"; return; }
  cat "$work/time"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

printf "%-18s %10s %10s %10s %10s %10s %10s %8s %8s\n" tree ours_s ours_kb xorr_s xorr_kb geniso_s geniso_kb t/xorr t/geniso
run_tree() {  # name dir
  local name="$1" dir="$2"
  read -r os om < <(measure "$tool" --joliet "$dir" "$work/ours.iso")
  read -r xs xm < <(measure xorriso -as mkisofs -quiet -J -o "$work/xorriso.iso" "$dir")
  read -r gs gm < <(measure genisoimage -quiet -J -joliet-long -o "$work/geniso.iso" "$dir")
  printf "%-18s %10s %10s %10s %10s %10s %10s %8s %8s\n" "$name" "$os" "$om" "$xs" "$xm" "$gs" "$gm" \
    "$(ratio "$os" "$xs")" "$(ratio "$os" "$gs")"
  rm -f "$work"/*.iso
}

for n in 2500 5000 10000 20000; do
  run_tree "1 x $n files" "$(one_folder "$n")"
done
run_tree "100 x 500 files" "$(many_folders)"
echo "memory ratios: ours_kb / xorr_kb and ours_kb / geniso_kb from the columns above"
