#!/usr/bin/env bash
# Times `aras-cat` decoding a 5-minute MP3 (48 kHz, so it is resampled too)
# and a 5-minute WMA to 44.1 kHz stereo PCM against `ffmpeg -f s16le` of the
# same files, one thread each, and prints the ratios.
#
#   bench/aras-cat-vs-ffmpeg.sh [BUILD_DIR]
#
# BUILD_DIR defaults to build (a release build is the fair one).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
tool="$build/bin/aras-cat"
[ -x "$tool" ] || { echo "no $tool: build first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg missing" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

music="aevalsrc=0.3*sin(220*2*PI*t)*sin(0.5*PI*t)+0.1*sin(3000*2*PI*t)|0.3*sin(330*2*PI*t)+0.05*random(0):s=48000:d=300"
ffmpeg -v error -y -f lavfi -i "$music" -c:a libmp3lame -b:a 192k "$work/song.mp3"
ffmpeg -v error -y -f lavfi -i "$music" -ar 44100 -c:a wmav2 -b:a 160k "$work/song.wma"

now() { date +%s.%N; }
for f in song.mp3 song.wma; do
  t0=$(now)
  "$tool" -q "$work/$f" - > "$work/ours.pcm"
  t1=$(now)
  ffmpeg -v error -y -threads 1 -i "$work/$f" -ar 44100 -ac 2 -f s16le "$work/theirs.pcm"
  t2=$(now)
  ours=$(echo "$t1 - $t0" | bc -l)
  theirs=$(echo "$t2 - $t1" | bc -l)
  printf '%s: aras-cat %.2f s, ffmpeg %.2f s, ratio %.2f (%s vs %s bytes)\n' "$f" "$ours" "$theirs" \
    "$(echo "$ours / $theirs" | bc -l)" "$(stat -c %s "$work/ours.pcm")" "$(stat -c %s "$work/theirs.pcm")"
done
