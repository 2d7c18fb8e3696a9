#!/usr/bin/env bash
# The main job. Installs what the build needs, builds the system into build/
# (laid out like an installation) and runs vexa in silent mode on the bundled
# sample photos with the sample music, under a title. The disc goes to the
# simulated recorder, a blank CD-R in build/cdrsim/, unless a real writer is
# configured (VEXA_SCSI_TRANSPORT, or SCSI_TRANSPORT under the product key;
# see the README). Ends with vexa's exit status.
#
#   bash scripts/run-main.sh [more vexa switches, e.g. /f:PAL /l:A4]
#
# VEXA_JOBS sets the number of parallel build jobs (default: all processors).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/install-packages.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEXA_BUILD_TESTS=OFF >/dev/null
cmake --build build -j "${VEXA_JOBS:-$(nproc)}"

product_key='HKLM\SOFTWARE\Tervane\Kv Orlune Disc\CurrentVersion'
configured="${VEXA_SCSI_TRANSPORT:-}"
# The shipped defaults name "sg" too; only the user's own registry layer
# (where vexa-reg add writes) says that a real writer was chosen.
user_registry="${VEXA_REGISTRY_DIR:-${XDG_CONFIG_HOME:-$HOME/.config}/vexa/registry}"
if [[ -z $configured ]] && grep -qis '^"SCSI_TRANSPORT"=' "$user_registry/HKLM.reg"; then
  configured="$(build/bin/vexa-reg query "$product_key" /v SCSI_TRANSPORT 2>/dev/null |
    sed -n 's/^ *SCSI_TRANSPORT *REG_[A-Z_]* *//p')" || true
fi
sim=""
if [[ -z $configured ]]; then
  # A fresh blank CD-R for every run.
  sim="$root/build/cdrsim"
  rm -rf "$sim"
  build/bin/cdrsim create "$sim" --media cdr >/dev/null
  export VEXA_SCSI_TRANSPORT="sim:$sim"
  echo "recorder: the simulated CD-R writer in $sim"
else
  echo "recorder: $configured"
fi

samples="$root/data/samples"
status=0
build/bin/vexa /r:silent "/t1:Sample photos" "/t2:Made with vexa" \
  "/d:$samples/photos" "/m:$samples/music/theme.mp3" "$@" || status=$?

echo "log: $(build/bin/vexalog-send --path 2>/dev/null || echo 'vexalog.txt in APP_PATH_DATA')"
if ((status != 0)); then
  echo "vexa ended with status $status; the log says why." >&2
  exit "$status"
fi
if [[ -n $sim ]]; then
  cue="$(ls -t "$sim"/*.cue 2>/dev/null | head -n 1)"
  if [[ -z $cue ]]; then
    echo "no disc image was written to $sim" >&2
    exit 1
  fi
  echo "disc image: ${cue%.cue}.bin with its table of contents $cue"
  echo "look at it:    vcd-info --cue-file=\"$cue\""
  echo "play a track:  (cd \"\$(mktemp -d)\" && vcdxrip -q --cue-file=\"$cue\" --nofiles --nosegments && ffplay avseq01.mpg)"
fi
