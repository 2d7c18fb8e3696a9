#!/usr/bin/env bash
# The end-to-end figure: vexa /r:silent making a whole disc (Video CD stills
# and menus, the slide show with music, derivatives, pages, PDFs, manifests,
# the ISO 9660/Joliet tree, burned to the simulated recorder) from a folder of
# photos with music, at several album sizes, timed in one run against
#   - the floor: decoding each photo once at full size with djpeg, one
#     process after the other (one thread), and
#   - the peer pipeline for the Video CD alone, with every core: ffmpeg
#     making each photo's MPEG-1 still (one process per photo, all in
#     parallel; the same decode also gives the slide-show frame), then the
#     slide show with the music (5 s a photo, as vexa's default) and
#     vcdxbuild laying out the disc image.
# The three runs of a size are alternated (vexa, floor, peer, vexa, ...) so
# that a change in the machine's load hits each of them alike. Printed for
# each run: wall time, CPU time (user + system of the run and everything it
# waited for) and peak memory (the largest resident set of one of its
# processes); then, for each size, the minimum of the repetitions and the
# ratios of vexa to the floor and to the peer, on the wall clock and on CPU
# time. The load average is printed before and after: on a shared machine
# the CPU-time ratios and the minima are the figures to compare.
#
#   bench/vexa-end-to-end.sh [FOLDER] [BUILD_DIR]
#
# FOLDER holds the photos (.jpg); each size takes its first photos in name
# order, going round the folder again when it has fewer. Without it, 256
# camera-sized photos (3264x2448, about 0.45 MB each) are drawn once into
# BUILD_DIR/bench-photos.
# BUILD_DIR defaults to build-bench, configured (Release) and built here when
# vexa is missing. The environment may set VEXA_BENCH_SIZES (default
# "16 64 256") and VEXA_BENCH_REPS (default 3).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
folder="${1:-}"
build="${2:-$root/build-bench}"
music="$root/data/samples/music/theme.mp3"
sizes=(${VEXA_BENCH_SIZES:-16 64 256})
reps="${VEXA_BENCH_REPS:-3}"
still_seconds=5
for tool in djpeg ffmpeg ffprobe vcdxbuild convert; do
  command -v "$tool" >/dev/null || { echo "$tool missing (see scripts/packages.txt)" >&2; exit 1; }
done
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time missing (package time, see scripts/packages.txt)" >&2; exit 1; }
if [[ ! -x "$build/bin/vexa" ]]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEXA_BUILD_TESTS=OFF -DVEXA_BUILD_BENCH=ON >/dev/null
  cmake --build "$build" -j "${VEXA_JOBS:-4}" >/dev/null
fi
if grep -qs '^CMAKE_BUILD_TYPE:STRING=' "$build/CMakeCache.txt" &&
   ! grep -qs '^CMAKE_BUILD_TYPE:STRING=Release$' "$build/CMakeCache.txt"; then
  echo "warning: $build is not a Release build; its figures are not the ones to compare" >&2
fi

largest=0
for n in "${sizes[@]}"; do (( n > largest )) && largest=$n; done
if [[ -z $folder ]]; then
  folder="$build/bench-photos"
  # Plasma clouds, blurred and tinted: about 0.45 MB a photo, as a camera's
  # 8-megapixel JPEG of an everyday scene, so 256 of them and all that is made
  # from them still fit on a CD. The marker beside the folder (where vexa's /d:
  # never sees it) holds how many were drawn and with which recipe.
  recipe="3264x2448 plasma blur2 q85"
  read -r drawn drawn_recipe 2>/dev/null < "$folder.complete" || true
  if [[ "${drawn_recipe:-}" != "$recipe" ]]; then
    rm -rf "$folder"
    drawn=0
  fi
  if [[ ${drawn:-0} -lt $largest ]]; then
    mkdir -p "$folder"
    seq -w 1 "$largest" | xargs -P "${VEXA_JOBS:-4}" -I{} bash -c '[[ -s "$2/photo$1.jpg" ]] ||
      convert -size 3264x2448 -seed "$1" plasma:fractal -blur 0x2 \
      -fill "#$(printf %06x $(( 10#$1 * 397921 % 16777216 )))" -colorize 20 -quality 85 "$2/photo$1.jpg"' \
      bash {} "$folder"
    echo "$largest $recipe" > "$folder.complete"
  fi
fi
folder="$(cd "$folder" && pwd)"
mapfile -t all < <(find "$folder" -maxdepth 1 -type f -iname '*.jpg' | sort)
(( ${#all[@]} )) || { echo "no .jpg files in $folder" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# One folder of links per size: the first n photos, round the folder again
# when it holds fewer.
for n in "${sizes[@]}"; do
  mkdir -p "$work/photos-$n"
  for ((i = 0; i < n; i++)); do
    ln -s "${all[i % ${#all[@]}]}" "$work/photos-$n/photo$(printf %04d $((i + 1))).jpg"
  done
done
cat "${all[@]}" "$music" > /dev/null  # every run starts from the page cache

cpus=$(nproc)
export VEXA_REGISTRY_DIR="$work/registry"
export XDG_RUNTIME_DIR="$work/run"
mkdir -p "$VEXA_REGISTRY_DIR" "$XDG_RUNTIME_DIR" "$work/data"
"$build/bin/vexa-reg" add 'HKLM\SOFTWARE\Tervane\Kv Orlune Disc\CurrentVersion' /v APP_PATH_DATA /d "$work/data/" /f >/dev/null

# Runs a command under GNU time; appends "what n wall cpu peakKiB" to the
# results.
measure() {
  local what="$1" n="$2"
  shift 2
  /usr/bin/time -o "$work/time.txt" -f '%e %U %S %M' "$@" ||
    { echo "$what ($n photos) failed" >&2; return 1; }
  read -r wall user sys peak < "$work/time.txt"
  echo "$what $n $wall $(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }') $peak" >> "$work/results.txt"
  printf '  %-7s %4d photos  wall %7.2f s  cpu %7.2f s  peak %6d MB\n' "$what" "$n" "$wall" \
    "$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')" $((peak / 1024))
}

# The floor: each photo decoded once, one after the other.
floor_run() {
  local n="$1"
  measure djpeg "$n" bash -c 'for p in "$1"/*.jpg; do djpeg -outfile /dev/null "$p"; done' bash "$work/photos-$n"
}

# vexa on a fresh simulated CD-R, its temporary folder removed afterwards.
vexa_run() {
  local n="$1" rec="$work/cdrsim-$n"
  rm -rf "$rec" "$work/vexa-tmp"
  mkdir -p "$work/vexa-tmp"
  "$build/bin/cdrsim" create "$rec" --media cdr >/dev/null
  VEXA_SCSI_TRANSPORT="sim:$rec" TMPDIR="$work/vexa-tmp" measure vexa "$n" "$build/bin/vexa" /r:silent /f:PAL \
    /l:A4 "/t1:Benchmark" "/d:$work/photos-$n" "/m:$music" ||
    { echo "vexa failed; its log: $work/data/vexalog.txt" >&2; tail -20 "$work/data/vexalog.txt" >&2; exit 1; }
  ls "$rec"/*.cue >/dev/null 2>&1 || { echo "vexa wrote no disc image" >&2; exit 1; }
}

# The peer, in one shell so that its CPU time covers every process.
peer_run() {
  local n="$1" peer="$work/peer-$n"
  rm -rf "$peer"
  mkdir -p "$peer"
  measure peer "$n" bash -c '
    set -euo pipefail
    photos="$1" peer="$2" music="$3" cpus="$4" seconds="$5"
    # One decode per photo: the full-screen still and the slide-show frame.
    i=0
    for p in "$photos"/*.jpg; do
      i=$((i + 1))
      printf "%s\0%s\0%s\0" "$p" "$peer/still$(printf %04d $i).mpg" "$peer/frame$(printf %04d $i).png"
    done | xargs -0 -n 3 -P "$cpus" sh -c '"'"'ffmpeg -hide_banner -loglevel error -y -i "$1" \
      -filter_complex "[0:v]split[a][b];[a]scale=704:576:force_original_aspect_ratio=decrease,pad=704:576:(ow-iw)/2:(oh-ih)/2,setsar=1[s];[b]scale=352:288:force_original_aspect_ratio=decrease,pad=352:288:(ow-iw)/2:(oh-ih)/2,setsar=1[f]" \
      -map "[s]" -c:v mpeg1video -q:v 2 -frames:v 1 -f vcd "$2" -map "[f]" -frames:v 1 "$3"'"'"' sh
    count=$(ls "$peer"/frame*.png | wc -l)
    ffmpeg -hide_banner -loglevel error -y -framerate "1/$seconds" -i "$peer/frame%04d.png" \
      -stream_loop -1 -i "$music" -t $((count * seconds)) -target pal-vcd "$peer/track.mpg"
    {
      echo "<?xml version=\"1.0\"?>"
      echo "<!DOCTYPE videocd PUBLIC \"-//GNU//DTD VideoCD//EN\" \"http://www.gnu.org/software/vcdimager/videocd.dtd\">"
      echo "<videocd xmlns=\"http://www.gnu.org/software/vcdimager/1.0/\" class=\"vcd\" version=\"2.0\">"
      echo "<info><album-id>BENCH</album-id><volume-count>1</volume-count><volume-number>1</volume-number><restriction>0</restriction></info>"
      echo "<pvd><volume-id>BENCH</volume-id><system-id>CD-RTOS CD-BRIDGE</system-id></pvd>"
      echo "<segment-items>"
      for s in "$peer"/still*.mpg; do echo "<segment-item src=\"$s\" id=\"segment-$(basename "$s" .mpg)\"/>"; done
      echo "</segment-items>"
      echo "<sequence-items><sequence-item src=\"$peer/track.mpg\" id=\"sequence-00\"/></sequence-items>"
      echo "<pbc><playlist id=\"playlist-00\"><wait>$seconds</wait>"
      for s in "$peer"/still*.mpg; do echo "<play-item ref=\"segment-$(basename "$s" .mpg)\"/>"; done
      echo "</playlist><playlist id=\"playlist-01\"><play-item ref=\"sequence-00\"/></playlist></pbc>"
      echo "</videocd>"
    } > "$peer/videocd.xml"
    cd "$peer" && vcdxbuild --cue-file=peer.cue --bin-file=peer.bin videocd.xml >/dev/null 2>&1
  ' bash "$work/photos-$n" "$peer" "$music" "$cpus" "$still_seconds"
  [[ -s "$peer/peer.bin" ]] || { echo "vcdxbuild wrote no image" >&2; exit 1; }
  rm -rf "$peer"
}

printf 'vexa end to end: %s, %d cores, %d repetitions, music %s\n' "$folder" "$cpus" "$reps" "$(basename "$music")"
printf 'load average before: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
: > "$work/results.txt"
for n in "${sizes[@]}"; do
  echo "$n photos"
  for ((r = 1; r <= reps; r++)); do
    vexa_run "$n"
    floor_run "$n"
    peer_run "$n"
  done
done
printf 'load average after: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"

echo
echo 'minimum of the repetitions; ratios of vexa to the floor (djpeg, one thread) and to the peer (all cores)'
printf '%6s | %-22s | %-22s | %-22s | %-13s | %-13s\n' photos 'vexa wall/cpu/MB' 'djpeg wall/cpu/MB' \
  'peer wall/cpu/MB' '/djpeg wall cpu' '/peer wall cpu'
awk '
  { key = $1 " " $2
    if (!(key in wall) || $3 < wall[key]) wall[key] = $3
    if (!(key in cpu) || $4 < cpu[key]) cpu[key] = $4
    if (!(key in mem) || $5 < mem[key]) mem[key] = $5
    if (!($2 in seen)) { seen[$2] = 1; order[++count] = $2 } }
  END {
    for (i = 1; i <= count; i++) {
      n = order[i]
      v = "vexa " n; d = "djpeg " n; p = "peer " n
      printf "%6d | %6.2f %7.2f %6d | %6.2f %7.2f %6d | %6.2f %7.2f %6d | %6.2f %6.2f | %6.2f %6.2f\n", n,
        wall[v], cpu[v], mem[v] / 1024, wall[d], cpu[d], mem[d] / 1024, wall[p], cpu[p], mem[p] / 1024,
        wall[v] / (wall[d] > 0 ? wall[d] : 0.01), cpu[v] / (cpu[d] > 0 ? cpu[d] : 0.01),
        wall[v] / (wall[p] > 0 ? wall[p] : 0.01), cpu[v] / (cpu[p] > 0 ? cpu[p] : 0.01)
    }
  }' "$work/results.txt"
echo 'goals: 64 photos within 1.5x of the floor (wall); below 1 against the peer at every size'
