#!/usr/bin/env bash
# Times reading album files whose elements carry many attributes through the
# album model (vexa-album dump: parse, input stylesheet, model), beside
# xmllint parsing the same file:
#  - one element with N attributes, for each N given (default 1000 2000 4000
#    8000 100000): libxml2 and libxslt take time in the square of N, so the
#    model refuses an element beyond its bound before the parser sees it;
#  - the most a file within the bound can ask: 1.1 MB of elements with 256
#    attributes each, which must take time in proportion to its size.
#
#   bench/album-attributes.sh [BUILD_DIR] [N...]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
shift || true
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1000 2000 4000 8000 100000)
album="$build/bin/vexa-album"
[ -x "$album" ] || { echo "vexa-album not built in $build" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" TMPDIR="$work/tmp" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
  XDG_CACHE_HOME="$work/cache" XDG_STATE_HOME="$work/state"
mkdir -p "$HOME" "$TMPDIR" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_STATE_HOME"

seconds() {  # runs the command, prints its wall time in seconds
  local start end
  start=$(date +%s.%N)
  "$@" > /dev/null 2>&1 || true
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}

head='<?xml version="1.0" encoding="UTF-8"?>'
ns='http://schemas.vexa.example/go/di-cv-vexa-1-6'
printf '%-28s %10s %12s %12s\n' "file" "bytes" "model (s)" "xmllint (s)"
for n in "${counts[@]}"; do
  f="$work/attributes-$n.xml"
  {
    echo "$head"
    printf '<AlbumManifest xmlns="%s"' "$ns"
    seq 0 $((n - 1)) | sed 's/.*/ a&="1"/' | tr -d '\n'
    echo '><tvSystem>2</tvSystem></AlbumManifest>'
  } > "$f"
  printf '%-28s %10d %12.2f %12.2f\n' "one element, $n" "$(stat -c %s "$f")" \
    "$(seconds "$album" dump "$f")" "$(seconds xmllint --noout "$f")"
done

f="$work/bound.xml"
{
  echo "$head"
  printf '<AlbumManifest xmlns="%s"><x>\n' "$ns"
  element="<e$(seq 0 255 | sed 's/.*/ a&="1"/' | tr -d '\n')/>"
  for _ in $(seq 1 500); do echo "$element"; done
  echo '</x><tvSystem>2</tvSystem></AlbumManifest>'
} > "$f"
printf '%-28s %10d %12.2f %12.2f\n' "500 elements, 256 each" "$(stat -c %s "$f")" \
  "$(seconds "$album" dump "$f")" "$(seconds xmllint --noout "$f")"
