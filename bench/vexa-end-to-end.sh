#!/usr/bin/env bash
# The end-to-end figure: vexa /r:silent making a whole disc (Video CD stills
# and menus, the music track, derivatives, pages, PDFs, manifests, the ISO
# 9660/Joliet tree, burned to the simulated recorder) from a folder of photos
# with music, timed in one run against
#   - decoding each photo once at full size (djpeg), the floor, and
#   - the best peer pipeline for the Video CD alone: ffmpeg making the MPEG-1
#     stills (in parallel, one process per photo) and the music track, then
#     vcdimager's vcdxbuild laying out the disc image.
# Prints the times and the ratios. Goals: within 2x of the decode floor and
# ahead of the peers.
#
#   bench/vexa-end-to-end.sh [FOLDER] [BUILD_DIR]
#
# FOLDER holds the photos (.jpg); without it, 40 camera-sized photos
# (3264x2448) are drawn once into BUILD_DIR/bench-photos. BUILD_DIR defaults
# to build-bench, configured (Release) and built here when vexa is missing.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
folder="${1:-}"
build="${2:-$root/build-bench}"
music="$root/data/samples/music/theme.mp3"
for tool in djpeg ffmpeg vcdxbuild convert; do
  command -v "$tool" >/dev/null || { echo "$tool missing (see scripts/packages.txt)" >&2; exit 1; }
done
if [[ ! -x "$build/bin/vexa" ]]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEXA_BUILD_TESTS=OFF -DVEXA_BUILD_BENCH=ON >/dev/null
  cmake --build "$build" -j "${VEXA_JOBS:-4}" >/dev/null
fi

if [[ -z $folder ]]; then
  folder="$build/bench-photos"
  if [[ ! -f "$folder.complete" ]]; then
    mkdir -p "$folder"
    seq -w 1 40 | xargs -P "${VEXA_JOBS:-4}" -I{} bash -c 'convert -size 3264x2448 -seed "$1" plasma:fractal \
      -blur 0x1 -fill "#$(printf %06x $(( 10#$1 * 397921 % 16777216 )))" -colorize 20 \
      -attenuate 0.2 +noise Gaussian -quality 90 "$2/photo$1.jpg"' bash {} "$folder"
    touch "$folder.complete"
  fi
fi
mapfile -t photos < <(find "$folder" -maxdepth 1 -iname '*.jpg' | sort)
(( ${#photos[@]} )) || { echo "no .jpg files in $folder" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cat "${photos[@]}" "$music" > /dev/null  # every run starts from the page cache

now() { date +%s%N; }

# The floor: each photo decoded once.
t0=$(now)
for p in "${photos[@]}"; do djpeg -outfile /dev/null "$p"; done
t1=$(now)

# vexa, on a fresh simulated CD-R, with a private registry and data folder.
export VEXA_REGISTRY_DIR="$work/registry"
export XDG_RUNTIME_DIR="$work/run"
mkdir -p "$VEXA_REGISTRY_DIR" "$XDG_RUNTIME_DIR" "$work/data"
"$build/bin/vexa-reg" add 'HKLM\SOFTWARE\Tervane\Kv Orlune Disc\CurrentVersion' /v APP_PATH_DATA /d "$work/data/" /f >/dev/null
"$build/bin/cdrsim" create "$work/cdrsim" --media cdr >/dev/null
export VEXA_SCSI_TRANSPORT="sim:$work/cdrsim"
mkdir -p "$work/vexa-tmp"
t2=$(now)
TMPDIR="$work/vexa-tmp" "$build/bin/vexa" /r:silent /f:PAL /l:A4 "/t1:Benchmark" "/d:$folder" "/m:$music" ||
  { echo "vexa failed; its log: $work/data/vexalog.txt" >&2; cat "$work/data/vexalog.txt" >&2; exit 1; }
t3=$(now)
ls "$work/cdrsim"/*.cue >/dev/null 2>&1 || { echo "vexa wrote no disc image" >&2; exit 1; }

# The peers: ffmpeg stills and music track, vcdxbuild.
peer="$work/peer"
mkdir -p "$peer"
t4=$(now)
i=0
for p in "${photos[@]}"; do
  i=$((i + 1))
  printf '%s\0%s\0' "$p" "$peer/still$(printf %04d $i).mpg"
done | xargs -0 -n 2 -P "$(nproc)" sh -c 'ffmpeg -hide_banner -loglevel error -y -i "$1" \
  -vf "scale=704:576:force_original_aspect_ratio=decrease,pad=704:576:(ow-iw)/2:(oh-ih)/2,setsar=1" \
  -c:v mpeg1video -q:v 2 -frames:v 1 -f vcd "$2"' sh
ffmpeg -hide_banner -loglevel error -y -loop 1 -framerate 25 -i "${photos[0]}" -i "$music" \
  -target pal-vcd -shortest "$peer/track.mpg"
{
  echo '<?xml version="1.0"?>'
  echo '<!DOCTYPE videocd PUBLIC "-//GNU//DTD VideoCD//EN" "http://www.gnu.org/software/vcdimager/videocd.dtd">'
  echo '<videocd xmlns="http://www.gnu.org/software/vcdimager/1.0/" class="vcd" version="2.0">'
  echo '<info><album-id>BENCH</album-id><volume-count>1</volume-count><volume-number>1</volume-number><restriction>0</restriction></info>'
  echo '<pvd><volume-id>BENCH</volume-id><system-id>CD-RTOS CD-BRIDGE</system-id></pvd>'
  echo '<segment-items>'
  for s in "$peer"/still*.mpg; do echo "<segment-item src=\"$s\" id=\"segment-$(basename "$s" .mpg)\"/>"; done
  echo '</segment-items>'
  echo "<sequence-items><sequence-item src=\"$peer/track.mpg\" id=\"sequence-00\"/></sequence-items>"
  echo '<pbc><playlist id="playlist-00"><wait>5</wait>'
  for s in "$peer"/still*.mpg; do echo "<play-item ref=\"segment-$(basename "$s" .mpg)\"/>"; done
  echo '</playlist><playlist id="playlist-01"><play-item ref="sequence-00"/></playlist></pbc>'
  echo '</videocd>'
} > "$peer/videocd.xml"
(cd "$peer" && vcdxbuild --cue-file=peer.cue --bin-file=peer.bin videocd.xml >/dev/null 2>&1)
t5=$(now)

decode=$(( (t1 - t0) / 1000000 ))
vexa=$(( (t3 - t2) / 1000000 ))
peers=$(( (t5 - t4) / 1000000 ))
printf 'photos %d with %s\n' "${#photos[@]}" "$(basename "$music")"
printf 'decode once (djpeg)              %6d ms\n' "$decode"
printf 'vexa /r:silent (whole disc)      %6d ms\n' "$vexa"
printf 'ffmpeg stills + vcdxbuild (VCD)  %6d ms\n' "$peers"
awk -v v="$vexa" -v d="$decode" -v p="$peers" 'BEGIN {
  printf "vexa / decode  %.2f (goal at most 2)\n", v / (d > 0 ? d : 1)
  printf "vexa / peers   %.2f (goal below 1)\n", v / (p > 0 ? p : 1)
}'
