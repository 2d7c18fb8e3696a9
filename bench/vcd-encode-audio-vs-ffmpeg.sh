#!/usr/bin/env bash
# Times `vcd-encode audio` on the music of a disc (an MP3, a WMA and a WAV,
# 10 minutes in all) against `ffmpeg -c:a mp2 -b:a 224k` encoding the same
# PCM, one thread each, and prints the ratio and how many times real time
# our encoding runs (the goal is at least 100x).
#
#   bench/vcd-encode-audio-vs-ffmpeg.sh [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
tool="$build/bin/vcd-encode"
[ -x "$tool" ] || { echo "no $tool: build first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg missing" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export VEXA_REGISTRY_DIR="$work/registry"

music() { echo "aevalsrc=0.3*sin($1*2*PI*t)*sin(0.5*PI*t)+0.1*sin(3000*2*PI*t)|0.3*sin($2*2*PI*t)+0.05*random(0):s=44100:d=$3"; }
ffmpeg -v error -y -f lavfi -i "$(music 220 330 240)" -c:a libmp3lame -b:a 192k "$work/a.mp3"
ffmpeg -v error -y -f lavfi -i "$(music 262 392 180)" -c:a wmav2 -b:a 160k "$work/b.wma"
ffmpeg -v error -y -f lavfi -i "$(music 294 440 180)" -c:a pcm_s16le "$work/c.wav"
# The same PCM for ffmpeg's encoder, decoded beforehand.
ffmpeg -v error -y -i "$work/a.mp3" -i "$work/b.wma" -i "$work/c.wav" \
  -filter_complex "[0:a][1:a][2:a]concat=n=3:v=0:a=1" -ar 44100 -ac 2 -c:a pcm_s16le "$work/all.wav"

now() { date +%s.%N; }
t0=$(now)
"$tool" audio "$work/ours.mp2" "$work/a.mp3" "$work/b.wma" "$work/c.wav" 2>/dev/null
t1=$(now)
ffmpeg -v error -y -threads 1 -i "$work/all.wav" -c:a mp2 -b:a 224k "$work/theirs.mp2"
t2=$(now)
ours=$(echo "$t1 - $t0" | bc -l)
theirs=$(echo "$t2 - $t1" | bc -l)
printf 'vcd-encode audio %.2f s (decode + encode, %.0fx real time), ffmpeg mp2 %.2f s (encode only), ratio %.2f\n' \
  "$ours" "$(echo "600 / $ours" | bc -l)" "$theirs" "$(echo "$ours / $theirs" | bc -l)"
