#!/usr/bin/env bash
# Times vcd-mkimage laying out and streaming a full disc's data track
# (small files with short names in 12 folders, with Joliet, plus segment play
# items and one MPEG track) against vcdxbuild making the same content, and
# prints the ratio. Both write a .bin/.cue (no padding track).
#
#   bench/vcd-mkimage-vs-vcdxbuild.sh [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
bin="$build/bin"
for t in vcd-mkimage vidlathe-cli vcd-encode; do
  [ -x "$bin/$t" ] || { echo "no $bin/$t: build first" >&2; exit 1; }
done
command -v vcdxbuild >/dev/null || { echo "vcdxbuild missing" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export VEXA_REGISTRY_DIR="$work/registry"
cd "$work"
# Files per folder (12 folders) and segment items. vcdxbuild refuses
# directory areas much smaller than ours ("directory section to big"), so
# the comparison defaults to content it takes; PER_FOLDER=1000 ITEMS=1980
# times ours alone on a full disc.
per="${PER_FOLDER:-100}"
items="${ITEMS:-200}"

ffmpeg -v error -y -f lavfi -i testsrc2=size=640x480 -frames:v 1 still.jpg
"$bin/vidlathe-cli" v1 1 still.mpg still.jpg >/dev/null
"$bin/vcd-encode" video -f 0 -t 2000 -c 0 track.mpg still.jpg 2>/dev/null

mkdir files
{
  echo "fs 1"
  echo "volume BENCH"
  for d in $(seq -w 0 11); do
    mkdir -p "files/D$d"
    for f in $(seq -w 0 $((per - 1))); do
      printf 'file %s %s\n' "files/D$d/F$f.T" "\\DATA\\D$d\\F$f.T"
    done
  done
  for i in $(seq 1 "$items"); do echo "segment still.mpg 4"; done
  echo "track track.mpg 1"
} > disc.txt
for d in $(seq -w 0 11); do
  for f in $(seq -w 0 $((per - 1))); do printf 'file %s %s\n' "$d" "$f" > "files/D$d/F$f.T"; done
done

{
  echo '<?xml version="1.0"?>'
  echo '<!DOCTYPE videocd PUBLIC "-//GNU//DTD VideoCD//EN" "http://www.gnu.org/software/vcdimager/videocd.dtd">'
  echo '<videocd xmlns="http://www.gnu.org/software/vcdimager/1.0/" class="vcd" version="2.0">'
  echo '<info><album-id>BENCH</album-id><volume-count>1</volume-count><volume-number>1</volume-number><restriction>0</restriction></info>'
  echo '<pvd><volume-id>BENCH</volume-id><system-id>CD-RTOS CD-BRIDGE</system-id></pvd>'
  echo '<filesystem><folder><name>DATA</name>'
  for d in $(seq -w 0 11); do
    echo "<folder><name>D$d</name>"
    for f in $(seq -w 0 $((per - 1))); do echo "<file src=\"files/D$d/F$f.T\"><name>F$f.T</name></file>"; done
    echo '</folder>'
  done
  echo '</folder></filesystem><segment-items>'
  for i in $(seq 1 "$items"); do echo "<segment-item src=\"still.mpg\" id=\"seg-$i\"/>"; done
  echo '</segment-items><sequence-items><sequence-item src="track.mpg" id="seq-0"/></sequence-items>'
  echo '</videocd>'
} > videocd.xml

now() { date +%s.%N; }
t0=$(now)
"$bin/vcd-mkimage" --no-pad disc.txt ours.bin >/dev/null
t1=$(now)
if ! vcdxbuild --cue-file=theirs.cue --bin-file=theirs.bin videocd.xml >vcdxbuild.log 2>&1; then
  printf 'vcd-mkimage %.2f s (%s sectors); vcdxbuild refused this content: %s\n' "$(echo "$t1 - $t0" | bc -l)" \
    "$(( $(stat -c %s ours.bin) / 2352 ))" "$(tail -1 vcdxbuild.log)"
  exit 0
fi
t2=$(now)
ours=$(echo "$t1 - $t0" | bc -l)
theirs=$(echo "$t2 - $t1" | bc -l)
printf 'vcd-mkimage %.2f s (%s sectors), vcdxbuild %.2f s (%s sectors), ratio %.2f\n' \
  "$ours" "$(( $(stat -c %s ours.bin) / 2352 ))" "$theirs" "$(( $(stat -c %s theirs.bin) / 2352 ))" \
  "$(echo "$ours / $theirs" | bc -l)"
