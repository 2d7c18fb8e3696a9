#!/usr/bin/env bash
# Times `vexasdk-cli make-disc` (photos and 3 minutes of music to a burned
# Video CD with its PC part: derivatives, pages, PDFs, manifests, menus; on
# the simulated recorder) and, in the same run on the same photos:
#   - decoding every photo once with djpeg (one after the other), and
#   - a peer pipeline: ffmpeg making a full-screen still per photo (all cores)
#     and the slide show with the music, vcdxbuild laying out the image;
# and prints our time as a ratio to each.
#
#   bench/engine-make-disc-vs-peers.sh [BUILD_DIR] [PHOTO_DIR]
#
# BUILD_DIR defaults to build (a release build is the fair one); without a
# PHOTO_DIR (of .jpg files), 24 large photo-like JPEG pictures are made.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
cli="$build/bin/vexasdk-cli"
[ -x "$cli" ] || { echo "no $cli: build first" >&2; exit 1; }
for t in ffmpeg djpeg vcdxbuild sox; do
  command -v "$t" >/dev/null || { echo "$t missing" >&2; exit 1; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export VEXA_REGISTRY_DIR="$work/registry" XDG_DATA_HOME="$work/data"

photos="${2:-}"
if [ -z "$photos" ]; then
  photos="$work/photos"
  mkdir -p "$photos"
  i=0
  for round in 1 2 3 4; do
    for src in "testsrc2=size=3000x2000" "mandelbrot=size=2400x1800" "cellauto=size=3000x2000:rule=110" \
               "life=size=2000x3000:mold=10:ratio=0.3" "gradients=size=3200x2400:n=5" "smptehdbars=size=3000x2000"; do
      i=$((i + 1))
      # Blur and grain make the synthetic pictures behave more like photos.
      ffmpeg -v error -y -f lavfi -i "$src" -frames:v 1 -vf "gblur=sigma=2,noise=alls=$((6 + round)):allf=t" \
        -pix_fmt yuvj420p -q:v 2 "$photos/photo$(printf %02d $i).jpg"
    done
  done
fi
mapfile -t list < <(ls "$photos"/*.jpg | sort)
n=${#list[@]}
sox -n -r 44100 -c 2 -b 16 "$work/music.wav" synth 180 sine 330 sine 440 vol 0.3

now() { date +%s.%N; }

# Ours, on a simulated blank CD-R.
mkdir -p "$work/sim" "$work/temp"
printf 'profile = cdrw-writer\nmedia = cdr\n' > "$work/sim/drive.conf"
t0=$(now)
VEXA_SCSI_TRANSPORT="sim:$work/sim" "$cli" make-disc --temp "$work/temp" -m "$work/music.wav" -1 "Benchmark" \
  "${list[@]}" > "$work/ours.log" 2>&1 || { cat "$work/ours.log" >&2; exit 1; }
t1=$(now)

# Each photo decoded once.
for p in "${list[@]}"; do djpeg "$p" > /dev/null; done
t2=$(now)

# The peer pipeline.
mkdir -p "$work/peer"
cd "$work/peer"
printf '%s\n' "${list[@]}" | xargs -P "$(nproc)" -I{} sh -c \
  'b=$(basename "{}" .jpg); ffmpeg -v error -y -i "{}" -vf "scale=704:480:force_original_aspect_ratio=decrease,pad=704:480:(ow-iw)/2:(oh-ih)/2,setsar=1" -c:v mpeg1video -q:v 2 -frames:v 1 -f vcd "$b.mpg"'
for p in "${list[@]}"; do printf "file '%s'\nduration 5\n" "$p"; done > show.txt
ffmpeg -v error -y -f concat -safe 0 -i show.txt -i "$work/music.wav" -shortest \
  -vf "scale=352:240:force_original_aspect_ratio=decrease,pad=352:240:(ow-iw)/2:(oh-ih)/2,setsar=1,fps=29.97" \
  -target ntsc-vcd show.mpg
{
  echo '<?xml version="1.0"?>'
  echo '<!DOCTYPE videocd PUBLIC "-//GNU//DTD VideoCD//EN" "http://www.gnu.org/software/vcdimager/videocd.dtd">'
  echo '<videocd xmlns="http://www.gnu.org/software/vcdimager/1.0/" class="vcd" version="2.0">'
  echo '<info><album-id>BENCH</album-id><volume-count>1</volume-count><volume-number>1</volume-number><restriction>0</restriction></info>'
  echo '<pvd><volume-id>BENCH</volume-id><system-id>CD-RTOS CD-BRIDGE</system-id></pvd>'
  echo '<segment-items>'
  i=0
  for p in "${list[@]}"; do
    i=$((i + 1))
    echo "<segment-item src=\"$(basename "$p" .jpg).mpg\" id=\"seg-$i\"/>"
  done
  echo '</segment-items><sequence-items><sequence-item src="show.mpg" id="seq-0"/></sequence-items>'
  echo '</videocd>'
} > videocd.xml
vcdxbuild --cue-file=peer.cue --bin-file=peer.bin videocd.xml > vcdxbuild.log 2>&1 || { cat vcdxbuild.log >&2; exit 1; }
t3=$(now)

ours=$(echo "$t1 - $t0" | bc -l)
decode=$(echo "$t2 - $t1" | bc -l)
peer=$(echo "$t3 - $t2" | bc -l)
printf '%d photos, 180 s of music\n' "$n"
grep -E "adding photos .*\(|took|finished" "$work/ours.log" | tr '\r' '\n' | grep -E "\(|took|finished" | sed 's/^.*adding/adding/'
printf 'vexasdk-cli make-disc %.2f s\n' "$ours"
printf 'djpeg, each photo once %.2f s: ratio %.2f\n' "$decode" "$(echo "$ours / $decode" | bc -l)"
printf 'ffmpeg stills and slide show + vcdxbuild %.2f s: ratio %.2f\n' "$peer" "$(echo "$ours / $peer" | bc -l)"
